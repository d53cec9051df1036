#include "processing/answering_form.h"

#include "shell/atomic_file.h"
#include "processing/answering_machine.h"
#include "processing_fixture.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class AnsweringFormTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        Form = OpenAnsweringForm(*Workspace);
        Ui.ClearRecords();
    }
    TAnsweringForm Form;
};

TEST_F(AnsweringFormTest, SelectingCreatesFilesAndEditsAreSaved) {
    ASSERT_EQ(Form.Accounts.size(), 1u);
    EXPECT_EQ(Form.Accounts[0], "Default Account (-not set-)" + std::string(33, ' ') + "1");
    EXPECT_TRUE(fs::is_directory(Books + "Answering Machine"));
    EXPECT_FALSE(Form.ControlsEnabled);

    AnsweringFormSelect(Form, 0, *Shell);
    EXPECT_TRUE(Form.ControlsEnabled);
    EXPECT_EQ(Form.Text, Shell->Text(1, 25));
    EXPECT_EQ(SlurpFile(AnswerTextPath(Books, 1)), Shell->Text(1, 25));
    EXPECT_FALSE(Form.Active);
    EXPECT_TRUE(fs::exists(AnswerSwitchPath(Books, 1)));

    AnsweringFormActiveClick(Form, true, *Shell);
    EXPECT_TRUE(ReadAnswerActive(AnswerSwitchPath(Books, 1)));

    Form.Text = "Back on Monday, %SENDER. -- %MYNAME";
    Form.TextChanged = true;
    AnsweringFormPreview(Form, *Shell);
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Text,
              "Back on Monday, John Sample (john.sample@example.com). -- Default Account");
    AnsweringFormSelect(Form, -1, *Shell); // leaving the account saves the text
    EXPECT_FALSE(Form.ControlsEnabled);
    EXPECT_EQ(SlurpFile(AnswerTextPath(Books, 1)), "Back on Monday, %SENDER. -- %MYNAME");

    // An emptied text file gets the default text back when the account is selected again.
    ASSERT_TRUE(WriteFileAtomically(AnswerTextPath(Books, 1), ""));
    AnsweringFormSelect(Form, 0, *Shell);
    EXPECT_EQ(Form.Text, Shell->Text(1, 25));
    EXPECT_TRUE(Form.Active);
}

TEST_F(AnsweringFormTest, UnsavableTextBeeps) {
    AnsweringFormSelect(Form, 0, *Shell);
    fs::remove_all(Books + "Answering Machine");
    Form.Text = "changed";
    Form.TextChanged = true;
    AnsweringFormClose(Form, *Shell);
    EXPECT_EQ(Ui.Beeps, 1);
    EXPECT_TRUE(Form.TextChanged);
}

} // namespace
} // namespace pelmora
