#include "shell/message_texts.h"

#include <gtest/gtest.h>

#include "shell/scripted_ui.h"
#include "shell/temp_dir.h"

namespace pelmora {
namespace {

using testing::TTempDir;
using testing::WriteFile;

struct TTextCase {
    const char* Name;
    int Module;
    int Slot;
    std::string Expected;
};

class DefaultTextTest : public ::testing::TestWithParam<TTextCase> {};

TEST_P(DefaultTextTest, HoldsTheBuiltInText) {
    TMessageTexts texts;
    texts.LoadDefaults();
    EXPECT_EQ(texts.Text(GetParam().Module, GetParam().Slot), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modules, DefaultTextTest,
    ::testing::Values(
        TTextCase{"FirstSlotOfModule0", 0, 0,
                  "Error: This address could not be found in the addressbook at the previously "
                  "known position. It could have been moved or deleted. You can alternatively "
                  "search for it by using the addressbook's Search function, add an addressbook "
                  "entry, or add it manually"},
        TTextCase{"SettingStatusFailed", 0, 16,
                  "Error: Setting status of message failed! File in use, protected or "
                  "corrupted?!"},
        TTextCase{"LineBreakInside", 0, 28,
                  "Error: One or more Account Settings were insufficient to continue mail "
                  "retrieval and/or sending.\r\nPlease check all Account Mail Settings!"},
        TTextCase{"QuotesInside", 0, 36,
                  "SMTP server error: SMTP authentication failed!\r\nPlease check the \"SMTP "
                  "Login\" and \"SMTP Password\" settings in the \"Mail Server Settings\"."},
        TTextCase{"ComposedCopyingSentMail", 0, 32,
                  "Error: an unknown/unexpected error was raised by Pelmora while copying sent "
                  "mail from\r\nthe \"Outgoing Messages\" to the \"Sent Messages\"!\r\nDisk "
                  "full, File locked, File corrupted or Harddisk Error?!"},
        TTextCase{"ComposedDeletingSentMail", 0, 33,
                  "Error: an unknown/unexpected error was raised by Pelmora while deleting sent "
                  "mail from\r\nthe \"Outgoing Messages\"!\r\nDisk full, File locked, File "
                  "corrupted or Harddisk Error?!"},
        TTextCase{"LastSlotOfModule0", 0, 38,
                  "POP-Before-Send Error: Could not log in to the POP3 server to authenticate "
                  "for eventual SMTP session!\r\nPlease check the POP3-ServerName, "
                  "POP3-UserName and POP3-Password settings!"},
        TTextCase{"UnlistedSlotIsEmpty", 1, 2, ""},
        TTextCase{"AnsweringMachineLetter", 1, 25,
                  "Dear %SENDER.\r\n\r\nYour e-mail message to me (%MYADDRESS) has been "
                  "received, but i did not yet had the time to read it.\r\n\r\nI will get back "
                  "to you as soon as i find time to answer my e-mails.\r\n\r\nRegards,\r\n\r\n"
                  "%MYNAME (%MYADDRESS)"},
        TTextCase{"DoubleBlankKept", 1, 28,
                  "Advanced:  Show Project-Names vs. Internal Project-Numbering"},
        TTextCase{"TrailingBlankKept", 1, 125, "Auto Retrieve+Send mail every "},
        TTextCase{"ComposedDeleteToTrash", 1, 183, "&Delete (to Removed Items)"},
        TTextCase{"ComposedDeleteWarning", 1, 240,
                  "Deleting message(-s) from the Removed Items will remove the file from your "
                  "harddisk beyond recall, sure?"},
        TTextCase{"ComposedNoLanguages", 1, 270,
                  "No languages found in this directory... Download language files from "
                  "https://pelmora.example/"},
        TTextCase{"ComposedMovedToTrash", 1, 274,
                  "The message has been moved to the project's \"Removed Items\" folder..."},
        TTextCase{"LeadingBlankLineBreak", 1, 254, " \r\nPlease select mail-folder again."},
        TTextCase{"LastSlotOfModule1", 1, 363, "&Close"},
        TTextCase{"ComposedReadyPressClose", 2, 8,
                  "Ready! Press the Close button to close this window"},
        TTextCase{"LastSlotOfModule2", 2, 34, " of "}, TTextCase{"NotSet", 3, 14, "-not set-"},
        TTextCase{"WabImportQuestion", 3, 18,
                  "This will import all records of your standard Windows addressbook into "
                  "Pelmora's addressbook.\r\nDuplicate records can occur! Are you sure?"},
        TTextCase{"ComposedTrackingIncremental", 4, 7,
                  "Changing the tracking number in Incremental mode has no effect..."},
        TTextCase{"ComposedAttachImage", 4, 9,
                  "Don't forget to Attach this imagefile manually (\"Attachments\", to embed it "
                  "in the message!"},
        TTextCase{"ComposedSavedInDrafts", 4, 26,
                  "Message is saved in the project's \r\n\"Drafts\" folder."},
        TTextCase{"ComposedStoredInOutbox", 4, 45,
                  "The message has been stored in\r\nthe project's \"Outgoing Messages\" folder."},
        TTextCase{"UnlistedSlotOfModule4", 4, 14, ""},
        TTextCase{"LastSlotOfModule4", 4, 53, "Ask Receipt"},
        TTextCase{"SlotPastModuleEnd", 2, 35, ""}, TTextCase{"UnknownModule", 5, 0, ""},
        TTextCase{"NegativeSlot", 1, -1, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

// A module image whose every slot holds "<module>/<slot>".
std::string NumberedImage(int module) {
    TMessageTexts texts;
    for (int slot = 0; slot < kTextModuleSlots[module]; ++slot) {
        texts.SetText(module, slot, std::to_string(module) + "/" + std::to_string(slot));
    }
    return ModuleImage(texts, module);
}

TEST(LanguageFileTest, NoFilesGiveDefaultsAndNoMessage) {
    TTempDir dir;
    TScriptedUi ui;
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), &ui);
    TMessageTexts defaults;
    defaults.LoadDefaults();
    for (int module = 0; module < kTextModuleCount; ++module) {
        EXPECT_EQ(ModuleImage(texts, module), ModuleImage(defaults, module)) << module;
    }
    EXPECT_TRUE(ui.Popups.empty());
    EXPECT_EQ(ui.Beeps, 0);
}

TEST(LanguageFileTest, ExactSizeReplacesEverySlotComposedOnesIncluded) {
    TTempDir dir;
    for (int module = 0; module < kTextModuleCount; ++module) {
        const std::string image = NumberedImage(module);
        ASSERT_EQ(image.size(), static_cast<size_t>(ModuleBytes(module)));
        WriteFile(dir.Path() + LanguageFileName(module), image);
    }
    TScriptedUi ui;
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), &ui);
    for (int module = 0; module < kTextModuleCount; ++module) {
        for (int slot = 0; slot < kTextModuleSlots[module]; ++slot) {
            ASSERT_EQ(texts.Text(module, slot),
                      std::to_string(module) + "/" + std::to_string(slot));
        }
    }
    EXPECT_TRUE(ui.Popups.empty());
}

TEST(LanguageFileTest, ComposedSlotsOfModule4UseTranslatedModule1) {
    TTempDir dir;
    TMessageTexts translated;
    translated.LoadDefaults();
    translated.SetText(1, 96, "Oplopend");
    translated.SetText(1, 318, "Uitgaand");
    translated.SetText(1, 287, "Verzonden");
    WriteFile(dir.Path() + LanguageFileName(1), ModuleImage(translated, 1));
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), nullptr);
    EXPECT_EQ(texts.Text(4, 7), "Changing the tracking number in Oplopend mode has no effect...");
    EXPECT_EQ(texts.Text(4, 45),
              "The message has been stored in\r\nthe project's \"Uitgaand\" folder.");
    // Module 0 is filled before any language file of module 1 is read.
    EXPECT_NE(texts.Text(0, 32).find("the \"Outgoing Messages\" to the \"Sent Messages\""),
              std::string::npos);
}

TEST(LanguageFileTest, OneByteShortFailsThatModuleOnly) {
    TTempDir dir;
    std::string shortImage = NumberedImage(2);
    shortImage.pop_back();
    WriteFile(dir.Path() + LanguageFileName(2), shortImage);
    WriteFile(dir.Path() + LanguageFileName(3), NumberedImage(3));
    TScriptedUi ui;
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), &ui);

    EXPECT_EQ(texts.FailedModules(), std::vector<int>{2});
    EXPECT_EQ(ui.Beeps, 1);
    ASSERT_EQ(ui.Popups.size(), 1u);
    EXPECT_EQ(ui.Popups[0].Request.Text,
              "ERROR loading Language file \"langdefmod2.dat\"! File might be corrupted, try "
              "downloading again from https://pelmora.example/");
    EXPECT_FALSE(ui.Popups[0].Request.Modeless);
    // The failed module keeps its defaults, the others load.
    EXPECT_EQ(texts.Text(2, 0), "Connected, getting messagelist from server...");
    EXPECT_EQ(texts.Text(2, 8), "Ready! Press the Close button to close this window");
    EXPECT_EQ(texts.Text(3, 14), "3/14");
    EXPECT_EQ(texts.Text(1, 263), "Retrieve+Send Mail for All Accounts");
}

TEST(LanguageFileTest, ZeroLengthSlotIsEmptyAndLengthByteBoundsTheText) {
    TTempDir dir;
    std::string image = NumberedImage(4);
    // Slot 0: length 0 over leftover bytes; slot 1: length 3 over "4/1" and more.
    image[0] = '\0';
    image[kTextSlotBytes + 1 + 3] = 'X';
    image[kTextSlotBytes] = '\x03';
    image += "trailing bytes after the module are ignored";
    WriteFile(dir.Path() + LanguageFileName(4), image);
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), nullptr);
    EXPECT_EQ(texts.Text(4, 0), "");
    EXPECT_EQ(texts.Text(4, 1), "4/1");
    EXPECT_EQ(texts.Text(4, 2), "4/2");
    EXPECT_TRUE(texts.FailedModules().empty());
}

TEST(LanguageFileTest, FullLengthSlotAndUnreadableFile) {
    TTempDir dir;
    TMessageTexts source;
    const std::string longest(255, 'x');
    source.SetText(0, 5, longest + "cut");
    EXPECT_EQ(source.Text(0, 5), longest);
    WriteFile(dir.Path() + LanguageFileName(0), ModuleImage(source, 0));
    // A directory in place of a file cannot be read.
    std::filesystem::create_directories(dir.Path() + LanguageFileName(1));
    TScriptedUi ui;
    TMessageTexts texts;
    texts.LoadMessageTexts(dir.Path(), &ui);
    EXPECT_EQ(texts.Text(0, 5), longest);
    EXPECT_EQ(texts.FailedModules(), std::vector<int>{1});
    EXPECT_TRUE(ui.PopupShown(LanguageFileErrorText(1)));
    EXPECT_EQ(texts.Text(1, 0), "Show all open windows");
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

// A translation may put the values anywhere, in any order; what is not a place stays.
TEST(OwnTextsTest, FillTextPutsValuesInTheirPlaces) {
    EXPECT_EQ(FillText("%2 before %1", {"one", "two"}), "two before one");
    EXPECT_EQ(FillText("100% sure, %1 %3 %", {"a", "b"}), "100% sure, a %3 %");
    EXPECT_EQ(FillText("%1%1", {"%2", "x"}), "%2%2") << "values are not filled again";
    EXPECT_EQ(FillText(OwnTextDefault(TOwnText::CertificateTrusted), {"pop.example.org"}),
              "Certificate of pop.example.org trusted by the user");
}

TEST(OwnTextsTest, FilledByBothLoadersAndReplaceable) {
    TMessageTexts texts;
    EXPECT_EQ(texts.Own(TOwnText::InvalidPort), "");
    texts.LoadDefaults();
    for (int id = 0; id < kOwnTextCount; ++id) {
        const auto own = static_cast<TOwnText>(id);
        EXPECT_FALSE(texts.Own(own).empty()) << id;
        EXPECT_EQ(texts.Own(own), OwnTextDefault(own)) << id;
    }
    texts.SetOwn(TOwnText::SMTPPortLabel, std::string(300, 'x'));
    EXPECT_EQ(texts.Own(TOwnText::SMTPPortLabel).size(), 255u);
    EXPECT_EQ(texts.Own(TOwnText::Count), "");

    testing::TTempDir dir;
    TMessageTexts loaded;
    loaded.LoadMessageTexts(dir.Path(), nullptr);
    EXPECT_EQ(loaded.Own(TOwnText::MessageIdMissing),
              "Aborting: Message-ID header missing from message. Very unusual!");
}

} // namespace
} // namespace pelmora
