#include "shell/dialog_rules.h"

#include <gtest/gtest.h>

#include "shell/scripted_ui.h"

namespace pelmora {
namespace {

TEST(DialogRulesTest, Titles) {
    TMessageTexts texts;
    texts.LoadDefaults();
    EXPECT_EQ(PopupTitle("Warning:"), "Pelmora v.3.0.5: Warning:");
    EXPECT_EQ(AskDialogTitle("Warning:"), "Pelmora - Warning:");
    EXPECT_EQ(EditPopupTitle(texts, "Re: hello"), "Edit HTML: Re: hello");
}

TEST(DialogRulesTest, PromptGetsOneColon) {
    EXPECT_EQ(QueryPromptLabel("Filter Name"), "Filter Name:");
    EXPECT_EQ(QueryPromptLabel("Retrieve + send mail (active pickup) minutes:"),
              "Retrieve + send mail (active pickup) minutes:");
    EXPECT_EQ(QueryPromptLabel(""), ":");
}

TEST(DialogRulesTest, FileFiltersBecomeTheDialogsForm) {
    // The stationery filter: the bracketed list is display only, the real list follows "|".
    EXPECT_EQ(FileDialogFilter("HTML + e-Mail Files (*.htm, *.html, *.eml)|"
                               "*.html;*.htm;*.eml;*.emlo;*.emlc;*.emlf"),
              "HTML + e-Mail Files (*.html *.htm *.eml *.emlo *.emlc *.emlf)");
    EXPECT_EQ(FileDialogFilter("Text|*.txt|All files|*.*"), "Text (*.txt);;All files (*.*)");
    EXPECT_EQ(FileDialogFilter("Pictures| *.png ; *.jpg ;"), "Pictures (*.png *.jpg)");
    EXPECT_EQ(FileDialogFilter("Nothing||Text|*.txt"), "Text (*.txt)");
    EXPECT_EQ(FileDialogFilter("|*.zip"), "*.zip (*.zip)");
    EXPECT_EQ(FileDialogFilter("Odd one out|*.a|Dangling"), "Odd one out (*.a)");
    EXPECT_EQ(FileDialogFilter("Images (*.png *.jpg)"), "Images (*.png *.jpg)");
    EXPECT_EQ(FileDialogFilter(""), "");
}

TEST(DialogRulesTest, AnswersOfBlanksOnlyAreEmpty) {
    TScriptedUi ui;
    ui.QueryAnswers = {"  \t ", " word  ", "a b", std::nullopt};
    EXPECT_EQ(ui.QueryText("c", "p", "", false), "");
    EXPECT_EQ(ui.QueryText("c", "p", "", false), "word");
    EXPECT_EQ(ui.QueryText("c", "p", "", false), "a b");
    EXPECT_EQ(ui.QueryText("c", "p", "", false), std::nullopt); // cancelled is not ""
}

TEST(DialogRulesTest, CheckStateChangesOnlyThroughAnEnabledBoxAndAButton)
{
    TScriptedUi ui;
    ui.AskAnswers = {{kAskFirst, true}, {kAskSecond, true}, {kAskClosed, true}};
    bool disabled = false;
    EXPECT_EQ(ui.AskDialog("c", "t", 11, disabled, false), kAskFirst);
    EXPECT_FALSE(disabled);
    bool enabled = false;
    EXPECT_EQ(ui.AskDialog("c", "t", 11, enabled, true), kAskSecond);
    EXPECT_TRUE(enabled);
    bool closed = false;
    EXPECT_EQ(ui.AskDialog("c", "t", 11, closed, true), kAskClosed);
    EXPECT_FALSE(closed);
    EXPECT_EQ(ui.AskDialog("c", "t", 11, closed, true), kAskSecond) << "the default answer";
    ASSERT_EQ(ui.Questions.size(), 4u);
    EXPECT_TRUE(ui.QuestionAsked("t"));
}

struct TKeyCase {
    const char* Name;
    std::string Yes;
    std::string No;
    char Key;
    int Result;
};

class AskDialogKeyTest : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(AskDialogKeyTest, PressesTheMatchingButton) {
    TMessageTexts texts;
    texts.LoadDefaults();
    texts.SetText(3, 33, GetParam().Yes);
    texts.SetText(3, 34, GetParam().No);
    EXPECT_EQ(AskDialogKey(texts, GetParam().Key), GetParam().Result);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AskDialogKeyTest,
    ::testing::Values(TKeyCase{"YesByFirstLetter", "Yes", "No", 'y', kAskFirst},
                      TKeyCase{"NoUpperCase", "Yes", "No", 'N', kAskSecond},
                      TKeyCase{"OtherKey", "Yes", "No", 'x', 0},
                      TKeyCase{"MarkedLetter", "&Ja", "N&ee", 'e', kAskSecond},
                      TKeyCase{"SameLettersPressNothing", "Oui", "Oh non", 'o', 0},
                      TKeyCase{"SameMarkedLetters", "&Si", "&Si no", 's', 0},
                      TKeyCase{"LiteralAmpersandSkipped", "&&Yes", "No", 'y', kAskFirst},
                      TKeyCase{"NulKey", "Yes", "No", '\0', 0}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace pelmora
