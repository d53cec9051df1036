#include "shell/shell_state.h"

#include <functional>

#include <gtest/gtest.h>

#include "shell/shell_fixture.h"

namespace pelmora {
namespace {

using testing::TShellFixture;
using testing::WriteFile;

// One menu item: how the user changes it and how its state is read back.
struct TItemCase {
    const char* Name;
    std::function<void(TShell&, TScriptedUi&)> Change;
    std::function<int(const TShell&)> State;
};

class MenuRoundTripTest : public TShellFixture, public ::testing::WithParamInterface<TItemCase> {};

TEST_P(MenuRoundTripTest, ChangeIsFoundAgainAfterARestart) {
    Start(*Shell);
    const int before = GetParam().State(*Shell);
    GetParam().Change(*Shell, Ui);
    const int after = GetParam().State(*Shell);
    ASSERT_NE(before, after);
    auto restarted = Restart();
    EXPECT_EQ(GetParam().State(*restarted), after);
}

INSTANTIATE_TEST_SUITE_P(
    EveryItem, MenuRoundTripTest,
    ::testing::Values(
        TItemCase{"ComposePlain", [](TShell& s, TScriptedUi&) { s.MenuComposePLainClick(); },
                  [](const TShell& s) { return int(s.Checks().ComposeHTML); }},
        TItemCase{"AutoAddMainAddressBook",
                  [](TShell& s, TScriptedUi&) { s.MenuAutoAddAddrbookClick(); },
                  [](const TShell& s) { return int(s.Checks().AutoAddAbook); }},
        TItemCase{"AutoAddProjectAddressBook",
                  [](TShell& s, TScriptedUi&) { s.MenuAutoAddProjAddrbookClick(); },
                  [](const TShell& s) { return int(s.Checks().AutoAddPbook); }},
        TItemCase{"AutoRun", [](TShell& s, TScriptedUi&) { s.MenuAutorunClick(); },
                  [](const TShell& s) { return int(s.Checks().DoAutoRun); }},
        TItemCase{"StopSounds",
                  [](TShell& s, TScriptedUi&) { s.MenuStopplayingsillysoundsClick(); },
                  [](const TShell& s) { return int(s.SoundsOff()); }},
        TItemCase{"ActivePickup",
                  [](TShell& s, TScriptedUi& ui) {
                      ui.QueryAnswers.push_back("45");
                      s.MenuActivepickupClick();
                  },
                  [](const TShell& s) {
                      return int(s.Checks().ActivePickup) * 1000 + s.AutoCollectMinutes();
                  }},
        TItemCase{"NewMailPopUp", [](TShell& s, TScriptedUi&) { s.MenuShowNewMailPopUpClick(); },
                  [](const TShell& s) { return int(s.Checks().DoShowYouHaveMail); }},
        TItemCase{"AutoConnect", [](TShell& s, TScriptedUi&) { s.MenuAutoConnectClick(); },
                  [](const TShell& s) {
                      return int(s.Checks().AutoConnect) * 2 + int(s.Checks().AutoDisconnect);
                  }},
        TItemCase{"AutoDisconnect", [](TShell& s, TScriptedUi&) { s.MenuAutoDisconnectClick(); },
                  [](const TShell& s) { return int(s.Checks().AutoDisconnect); }},
        TItemCase{"AnsweringAllOn",
                  [](TShell& s, TScriptedUi&) { s.SetAnsweringMode(TAnsweringMode::AllOn); },
                  [](const TShell& s) { return int(s.Checks().AnsweringMode); }},
        TItemCase{"AnsweringAllOff",
                  [](TShell& s, TScriptedUi&) { s.SetAnsweringMode(TAnsweringMode::AllOff); },
                  [](const TShell& s) { return int(s.Checks().AnsweringMode); }},
        TItemCase{"FoldersTreeFont",
                  [](TShell& s, TScriptedUi&) { s.MenuBiggerFontClick(TFontTarget::FoldersTree); },
                  [](const TShell& s) { return s.FontSize(TFontTarget::FoldersTree); }},
        TItemCase{"ProjectTreeFont",
                  [](TShell& s, TScriptedUi&) { s.MenuSmallerFontClick(TFontTarget::ProjectTree); },
                  [](const TShell& s) { return s.FontSize(TFontTarget::ProjectTree); }},
        TItemCase{"MessageListFont",
                  [](TShell& s, TScriptedUi&) { s.MenuBiggerFontClick(TFontTarget::MessageList); },
                  [](const TShell& s) { return s.FontSize(TFontTarget::MessageList); }},
        TItemCase{"PanelSizes",
                  [](TShell& s, TScriptedUi&) {
                      s.Panels().FolderTreeWidth = 333;
                      s.Panels().MainFormHeight = 777;
                  },
                  [](const TShell& s) {
                      return s.Panels().FolderTreeWidth * 1000 + s.Panels().MainFormHeight;
                  }}),
    [](const auto& info) { return std::string(info.param.Name); });

using ShellMenuTest = TShellFixture;

TEST_F(ShellMenuTest, ComposeAndAnsweringModeAreIgnoredWhileStartingUp) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    ASSERT_TRUE(Shell->StartingUp);
    Shell->MenuComposePLainClick();
    Shell->SetAnsweringMode(TAnsweringMode::AllOff);
    EXPECT_TRUE(Shell->Checks().ComposeHTML);
    EXPECT_EQ(Shell->Checks().AnsweringMode, TAnsweringMode::Normal);
    Shell->FirstActivationStart();
    Shell->MenuComposePLainClick();
    EXPECT_FALSE(Shell->Checks().ComposeHTML);
    Shell->MenuComposePLainClick();
    EXPECT_FALSE(Shell->Checks().ComposeHTML) << "a radio item stays chosen";
    Shell->MenuComposeHTMLClick();
    EXPECT_TRUE(Shell->Checks().ComposeHTML);
}

TEST_F(ShellMenuTest, AnsweringModeFromSettingsKeepsOneItem) {
    WriteFile(Home + "pelmora.ini", "[System]\nAMNormal=0\nAMALLOFF=1\nAMALLON=1\n");
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_EQ(Shell->Checks().AnsweringMode, TAnsweringMode::AllOn);
    ASSERT_TRUE(Shell->CloseWriteSettings());
    TSettings settings(Home);
    EXPECT_FALSE(settings.GetBool(TSettingKey::AMNormal));
    EXPECT_TRUE(settings.GetBool(TSettingKey::AMALLON));
    EXPECT_FALSE(settings.GetBool(TSettingKey::AMALLOFF));
}

TEST_F(ShellMenuTest, ConnectAndDisconnectArePaired) {
    Start(*Shell);
    Shell->MenuAutoConnectClick();
    EXPECT_TRUE(Shell->Checks().AutoConnect);
    EXPECT_TRUE(Shell->Checks().AutoDisconnect);
    Shell->MenuAutoConnectClick();
    EXPECT_FALSE(Shell->Checks().AutoConnect);
    EXPECT_TRUE(Shell->Checks().AutoDisconnect) << "unchecking connect leaves disconnect";
    Shell->MenuAutoConnectClick();
    Shell->MenuAutoDisconnectClick();
    EXPECT_FALSE(Shell->Checks().AutoDisconnect);
    EXPECT_FALSE(Shell->Checks().AutoConnect);
    Shell->MenuAutoDisconnectClick();
    EXPECT_TRUE(Shell->Checks().AutoDisconnect);
    EXPECT_FALSE(Shell->Checks().AutoConnect);
}

struct TPickupCase {
    const char* Name;
    std::string Answer;
    int Minutes;
    int IntervalMs;
};

class ActivePickupTest : public TShellFixture, public ::testing::WithParamInterface<TPickupCase> {};

TEST_P(ActivePickupTest, AnswerSetsMinutesOnlyWhenWhole) {
    Start(*Shell);
    int timerChanges = 0;
    Shell->CollectTimerChanged = [&] { ++timerChanges; };
    Ui.QueryAnswers.push_back(GetParam().Answer);
    Shell->MenuActivepickupClick();
    ASSERT_EQ(Ui.Queries.size(), 1u);
    EXPECT_EQ(Ui.Queries[0].Caption, "Active Pickup");
    EXPECT_EQ(Ui.Queries[0].Prompt, "Retrieve + send mail (active pickup) minutes:");
    EXPECT_EQ(Ui.Queries[0].Initial, "30");
    EXPECT_TRUE(Shell->Checks().ActivePickup);
    EXPECT_EQ(Shell->AutoCollectMinutes(), GetParam().Minutes);
    EXPECT_EQ(Shell->CollectTimer().IntervalMs, GetParam().IntervalMs);
    EXPECT_TRUE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Shell->CollectTimer().Fires(), GetParam().IntervalMs > 0);
    EXPECT_GT(timerChanges, 0);
    EXPECT_EQ(Shell->ActivePickupCaption(),
              "Auto Retrieve+Send mail every " + std::to_string(GetParam().Minutes) + " minutes");

    Shell->MenuActivepickupClick();
    EXPECT_EQ(Ui.Queries.size(), 1u) << "unchecking asks nothing";
    EXPECT_FALSE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Shell->AutoCollectMinutes(), GetParam().Minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ActivePickupTest,
    ::testing::Values(
        TPickupCase{"Whole", "15", 15, 900000}, TPickupCase{"Blanks", "  20 ", 20, 1200000},
        TPickupCase{"ZeroNeverFires", "0", 0, 0}, TPickupCase{"EmptyAnswer", "", 30, 1800000},
        TPickupCase{"Text", "abc", 30, 1800000}, TPickupCase{"Fraction", "2.5", 30, 1800000},
        TPickupCase{"Negative", "-5", 30, 1800000},
        TPickupCase{"TooLargeForAnInt", "99999999999", 30, 1800000},
        TPickupCase{"LongerThanTheTimerHolds", "100000", 35791, 2147460000}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ShellMenuTest, CancelledPickupQuestionLeavesThePickupOff) {
    Start(*Shell);
    Ui.QueryAnswers.push_back(std::nullopt);
    Shell->MenuActivepickupClick();
    EXPECT_EQ(Ui.Queries.size(), 1u);
    EXPECT_FALSE(Shell->Checks().ActivePickup);
    EXPECT_FALSE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Shell->AutoCollectMinutes(), 30);
}

TEST_F(ShellMenuTest, CollectMailTickRunsTheTransferAndRearms) {
    Start(*Shell);
    Ui.QueryAnswers.push_back("5");
    Shell->MenuActivepickupClick();
    bool enabledDuringRun = true;
    int runs = 0;
    Shell->CollectMailRunHook = [&] {
        ++runs;
        enabledDuringRun = Shell->CollectTimer().Enabled;
    };
    Shell->CollectMailTick();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_TRUE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Ui.FolderStatusColour, TStatusColour::Yellow);
    EXPECT_EQ(Ui.FolderStatusText, "Retrieve+Send Mail for All Accounts");
    Shell->MenuActivepickupClick();
    Shell->CollectMailTick();
    EXPECT_FALSE(Shell->CollectTimer().Enabled);
}

TEST_F(ShellMenuTest, RestorePanelsForgetsEveryDontAskAgainAnswer) {
    WriteFile(Home + "pelmora.ini",
              "[System]\nDoAutoRun=1\nActivePickup=1\nAutoCollectMinutes=10\nAMALLON=1\n"
              "AMNormal=0\nFirstFreeTrack=123\nNoTunesPlease=1\n"
              "[ExclSessionParam]\nHideStillMailWaiting=1\nAskAssociation=1\n"
              "AllowSubscribeRES=2\n[Fonts]\nMessageList=12\n");
    Start(*Shell);
    ASSERT_TRUE(Shell->Checks().ActivePickup);
    ASSERT_TRUE(Shell->SoundsOff());
    Shell->MenuAutoConnectClick();
    Shell->Panels().FolderTreeWidth = 500;
    int hookCalls = 0;
    Shell->RestorePanelsTreeHook = [&] { ++hookCalls; };

    Shell->MenuRestorePanelsClick();

    TSettings onDisk(Home);
    EXPECT_FALSE(onDisk.File().SectionExists("ExclSessionParam"));
    EXPECT_FALSE(onDisk.GetBool(TSettingKey::HideStillMailWaiting));
    EXPECT_EQ(onDisk.GetInt(TSettingKey::AllowSubscribeRES), 1);
    for (TSettingKey key :
         {TSettingKey::DoAutoRun, TSettingKey::ActivePickup, TSettingKey::AutoCollectMinutes,
          TSettingKey::AMALLON, TSettingKey::NoTunesPlease}) {
        EXPECT_FALSE(onDisk.IsSet(key)) << SettingDef(key).Name;
    }
    EXPECT_EQ(onDisk.GetInt(TSettingKey::FirstFreeTrack), 123) << "other keys stay";

    const TMenuChecks defaults;
    EXPECT_EQ(Shell->Checks().ActivePickup, defaults.ActivePickup);
    EXPECT_EQ(Shell->Checks().AutoConnect, false);
    EXPECT_EQ(Shell->Checks().AutoDisconnect, false);
    EXPECT_EQ(Shell->Checks().AnsweringMode, TAnsweringMode::Normal);
    EXPECT_EQ(Shell->Checks().DoAutoRun, false);
    EXPECT_FALSE(Shell->SoundsOff());
    EXPECT_EQ(Shell->AutoCollectMinutes(), 30);
    EXPECT_EQ(Shell->CollectTimer().IntervalMs, 1800000);
    EXPECT_FALSE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Shell->MenuCaption("MenuActivepickup"), "Auto Retrieve+Send mail every 30 minutes");
    EXPECT_EQ(Shell->Panels().FolderTreeWidth, 234);
    EXPECT_EQ(Shell->Panels().MainFormWidth, 795);
    EXPECT_EQ(Shell->Panels().MainFormHeight, 595);
    EXPECT_EQ(Shell->FontSize(TFontTarget::MessageList), 7);
    EXPECT_EQ(hookCalls, 1);
    const TPopupRecord* popup = Ui.LastPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->Request.Caption, "Information");
    EXPECT_EQ(popup->Request.Text,
              "\r\nAll menu settings have been restored to the program's default. Please check "
              "all menu items, default selections and settings!");
    EXPECT_EQ(popup->Request.DisplayMs, 7000);
    EXPECT_TRUE(popup->Request.Modeless);
}

TEST_F(ShellMenuTest, FontStepsStayWithinBounds) {
    Start(*Shell);
    for (int i = 0; i < 20; ++i) {
        Shell->MenuSmallerFontClick(TFontTarget::ProjectTree);
    }
    EXPECT_EQ(Shell->FontSize(TFontTarget::ProjectTree), kMinFontSize);
    Shell->MenuBiggerFontClick(TFontTarget::MessageList);
    EXPECT_EQ(Shell->FontSize(TFontTarget::MessageList), 8);
    EXPECT_EQ(Shell->FontSize(TFontTarget::FoldersTree), 7);
    Shell->MenuRestoreFontClick();
    EXPECT_EQ(Shell->FontSize(TFontTarget::ProjectTree), 7);
    EXPECT_EQ(Shell->FontSize(TFontTarget::MessageList), 7);
}

TEST_F(ShellMenuTest, NewMailLightBlinksUntilStopped) {
    Start(*Shell);
    int changes = 0;
    Shell->YouHaveMailChanged = [&] { ++changes; };
    Shell->YouHaveMailTick();
    EXPECT_FALSE(Shell->ScrollLockLight()) << "no blinking before new mail";
    Shell->StartYouHaveMail();
    Shell->YouHaveMailTick();
    EXPECT_TRUE(Shell->ScrollLockLight());
    Shell->YouHaveMailTick();
    EXPECT_FALSE(Shell->ScrollLockLight());
    Shell->YouHaveMailTick();
    Shell->StopYouHaveMail();
    EXPECT_FALSE(Shell->YouHaveMailBlinking());
    EXPECT_FALSE(Shell->ScrollLockLight()) << "stopping switches the light off";
    EXPECT_EQ(changes, 5);
    Shell->StopYouHaveMail();
    EXPECT_EQ(changes, 5);
}

struct TCaptionCase {
    const char* Component;
    std::string Expected;
};

class MenuCaptionTest : public ::testing::TestWithParam<TCaptionCase> {};

TEST_P(MenuCaptionTest, ComesFromTheTexts) {
    testing::TTempDir dir;
    TScriptedUi ui;
    TShell shell({dir.Path(), {}, false}, ui);
    EXPECT_EQ(shell.MenuCaption(GetParam().Component), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Items, MenuCaptionTest,
    ::testing::Values(TCaptionCase{"MenuBiggerfont", "Accounts Tree: Bigger Font"},
                      TCaptionCase{"MessageListSmallerFont", "Messages List: Smaller Font"},
                      TCaptionCase{"MenuSortAccounts", "Alphabetically Sort Accounts"},
                      TCaptionCase{"MenuStopplayingsillysounds", "Stop playing silly sounds"},
                      TCaptionCase{"MenuShowAddressBook", "Show Main-AddressBook"},
                      TCaptionCase{"MenuAMSettings", "Settings"},
                      TCaptionCase{"MenuLegenda", "Legenda"},
                      TCaptionCase{"PMEmptyTrash", "Empty Trash"}, TCaptionCase{"NoSuchItem", ""}),
    [](const auto& info) { return std::string(info.param.Component); });

} // namespace
} // namespace pelmora
