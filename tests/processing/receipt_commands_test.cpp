// The receipt commands of the message list, run on listed folders of a project: the receipt of
// a sent message and the message a receipt answers are found and selected; a failed search
// shows the folder and row of the start again.

#include "processing/receipt_commands.h"

#include "processing/processing_fixture.h"
#include "processing/receipts.h"
#include "shell/atomic_file.h"
#include "store/folder_listing.h"
#include "store/store_layout.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

constexpr int kProject = 100000;

// A sent message and the receipt a recipient's mail program returned for it, in the shape
// such programs write (a multipart/report naming the message in References).
const char* kSent = "From: Me <me@example.org>\r\nTo: Bob <bob@example.com>\r\n"
                    "Subject: Offer\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\n"
                    "Message-ID: <20261210100000.1A2B@PXID100000>\r\n"
                    "Disposition-Notification-To: me@example.org\r\n\r\nThe offer.\r\n";
const char* kOtherSent = "From: Me <me@example.org>\r\nTo: Ann <ann@example.net>\r\n"
                         "Subject: Other\r\nMessage-ID: <other.1@PXID100000>\r\n\r\nHi.\r\n";
const char* kReceipt =
    "From: Bob <bob@example.com>\r\nTo: me@example.org\r\n"
    "Subject: Read: Offer\r\nDate: Thu, 10 Dec 2026 11:00:00 +0000\r\n"
    "Message-ID: <r.77@example.com>\r\n"
    "References: <20261210100000.1A2B@PXID100000>\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/report; report-type=disposition-notification;\r\n"
    "\tboundary=\"RPT\"\r\n\r\n"
    "--RPT\r\nContent-Type: text/plain\r\n\r\nYour message was displayed.\r\n"
    "--RPT\r\nContent-Type: message/disposition-notification\r\n\r\n"
    "Final-Recipient: rfc822;bob@example.com\r\n"
    "Original-Message-ID: <20261210100000.1A2B@PXID100000>\r\n"
    "Disposition: manual-action/MDN-sent-manually; displayed\r\n--RPT--\r\n";

class ReceiptCommandsTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        View = std::make_unique<TFolderView>(*Workspace);
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, kProject));
        Workspace->FolderTreeClick();
        PutFile(FolderPath(Store, kProject, kFolderSent) + "1012026121000001.eml", kOtherSent);
        PutFile(FolderPath(Store, kProject, kFolderSent) + "1012026121000002.eml", kSent);
        PutFile(FolderPath(Store, kProject, kFolderInReceipts) + "_0012026121100001.eml",
                kReceipt);
    }
    void TearDown() override {
        View.reset();
        WorkspaceTest::TearDown();
    }
    void Show(int code) {
        Workspace->ProjectTree.Select(FindTopLevel(Workspace->ProjectTree, code));
        View->ProjectTreeClick();
        ASSERT_EQ(View->ListedFolder(), code);
        Ui.ClearRecords();
    }
    void SelectFile(const std::string& name) {
        for (int row = 0; row < View->List.Count(); ++row) {
            if (fs::path(View->RowFilePath(row)).filename() == name) {
                View->List.SelectOnly(row);
                return;
            }
        }
        FAIL() << name << " is not listed";
    }
    std::string SelectedFile() const {
        const int row = View->List.FirstSelected();
        return row < 0 ? std::string() : fs::path(View->RowFilePath(row)).filename().string();
    }

    std::unique_ptr<TFolderView> View;
};

TEST_F(ReceiptCommandsTest, ReceiptOfASentMessageIsSelected) {
    Show(kFolderSent);
    SelectFile("1012026121000002.eml");
    EXPECT_TRUE(FindReceiptOfSelectedMessage(*View));
    EXPECT_EQ(View->ListedFolder(), kFolderInReceipts);
    EXPECT_EQ(SelectedFile(), "_0012026121100001.eml");
    EXPECT_EQ(View->List.SelectedCount(), 1);
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_FALSE(Workspace->Busy());

    // And back: the receipt leads to the sent message.
    EXPECT_TRUE(FindSourceOfSelectedReceipt(*View));
    EXPECT_EQ(View->ListedFolder(), kFolderSent);
    EXPECT_EQ(SelectedFile(), "1012026121000002.eml");
}

TEST_F(ReceiptCommandsTest, NoMatchShowsTheStartAgain) {
    Show(kFolderSent);
    SelectFile("1012026121000001.eml");
    EXPECT_FALSE(FindReceiptOfSelectedMessage(*View));
    EXPECT_EQ(View->ListedFolder(), kFolderSent);
    EXPECT_EQ(SelectedFile(), "1012026121000001.eml");
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 350)));

    // A receipt of another program without References matches nothing either.
    PutFile(FolderPath(Store, kProject, kFolderInReceipts) + "_0012026121100002.eml",
            *ReadWholeFile(std::string(PELMORA_TEST_DATA) + "/processing/foreign_receipt.eml"));
    Show(kFolderInReceipts);
    SelectFile("_0012026121100002.eml");
    EXPECT_FALSE(FindSourceOfSelectedReceipt(*View));
    EXPECT_EQ(View->ListedFolder(), kFolderInReceipts);
    EXPECT_EQ(SelectedFile(), "_0012026121100002.eml");
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 350)));
}

TEST_F(ReceiptCommandsTest, RefusalsLeaveTheListAlone) {
    // A sent message without a Message-ID.
    PutFile(FolderPath(Store, kProject, kFolderSent) + "1012026121000003.eml",
            "From: me@example.org\r\nTo: x@example.com\r\nSubject: bare\r\n\r\nx\r\n");
    Show(kFolderSent);
    SelectFile("1012026121000003.eml");
    EXPECT_FALSE(FindReceiptOfSelectedMessage(*View));
    EXPECT_TRUE(Ui.PopupShown("Aborting: Message-ID header missing from message. Very unusual!"));
    EXPECT_EQ(View->ListedFolder(), kFolderSent);

    // Ordinary mail in a receipts folder is no receipt.
    PutFile(FolderPath(Store, kProject, kFolderInReceipts) + "_0012026121100003.eml", kOtherSent);
    Show(kFolderInReceipts);
    SelectFile("_0012026121100003.eml");
    EXPECT_FALSE(FindSourceOfSelectedReceipt(*View));
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 27)));
    EXPECT_EQ(View->ListedFolder(), kFolderInReceipts);

    // Nothing selected: only the sound.
    View->List.ClearSelection();
    Ui.ClearRecords();
    EXPECT_FALSE(FindSourceOfSelectedReceipt(*View));
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_EQ(Sounds(), std::vector<std::string>{"popped"});
}

TEST_F(ReceiptCommandsTest, EscEndsTheSearchAsNotFound) {
    Show(kFolderSent);
    SelectFile("1012026121000002.eml");
    Ui.DuringPump = [this] { Shell->AbortRequested = true; };
    EXPECT_FALSE(FindReceiptOfSelectedMessage(*View));
    EXPECT_EQ(View->ListedFolder(), kFolderSent);
    EXPECT_EQ(SelectedFile(), "1012026121000002.eml");
}

} // namespace
} // namespace pelmora
