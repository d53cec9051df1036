// The message store under load. One program, one measurement per call, so that the script
// can time each step from outside (wall time, peak memory) beside a peer on the same files:
//
//   store_bench gen-index DIR ROWS        writes DIR/tree.lst with ROWS realistic rows
//   store_bench list-index DIR            lists DIR/tree.lst into the message list
//   store_bench sort-index DIR            lists it, then sorts by date (time of the sort)
//   store_bench gen-mail HOME MAILDIR N   writes N message files into project 1000's inbox
//                                         of the data home HOME and links them into MAILDIR/cur
//   store_bench rebuild HOME              rebuilds the inbox list from its files
//   store_bench ops HOME N                state change, move and delete of N selected rows
//
// Every measuring mode prints "name seconds count" lines.

#include "mime/mail_date.h"
#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/folder_index.h"
#include "store/folder_listing.h"
#include "store/message_state.h"
#include "store/message_transfer.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pelmora;

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

void Report(const char* name, double seconds, long count) {
    std::printf("%s %.6f %ld\n", name, seconds, count);
    std::fflush(stdout);
}

int Number(const char* text) {
    int value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

const char* kWords[] = {"project", "meeting", "invoice", "report", "schedule", "review",
                        "budget",  "draft",   "update",  "question", "delivery", "contract",
                        "Re:",     "Fwd:",    "urgent",  "weekly",   "status",   "plan"};

std::string Words(std::mt19937& random, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kWords[random() % std::size(kWords)];
    }
    return out;
}

std::string DateCell(std::mt19937& random) {
    char cell[32];
    auto pick = [&random](unsigned range) { return static_cast<unsigned>(random() % range); };
    std::snprintf(cell, sizeof cell, "%02u-%02u-%u %02u:%02u", 1 + pick(28), 1 + pick(12),
                  2015 + pick(10), pick(24), pick(60));
    return cell;
}

int GenIndex(const std::string& dir, int rows) {
    fs::create_directories(dir);
    std::mt19937 random(7);
    TMessageList list;
    list.BeginBulk();
    for (int i = 0; i < rows; ++i) {
        const int state = std::array<int, 6>{-1, -1, -1, 2, 1, 4}[random() % 6];
        const std::string name = (state == 2 ? "_" : "") + std::to_string(1000000 + i) +
                                 (state == 1 ? ".emlf" : state == 4 ? ".emlo" : ".eml");
        AppendMessageRow(list, 1000 + random() % 200000, state, false,
                         "<" + std::to_string(random()) + ".JavaMail@mail.example.org>",
                         "/home/user/.local/share/pelmora/Projects/1000/inbox/" + name,
                         Words(random, 3 + random() % 6), "",
                         "Person " + std::to_string(random() % 500) + " (person" +
                             std::to_string(random() % 500) + "@example.com)",
                         DateCell(random), random() % 5 == 0 ? 3 : -1);
    }
    list.EndBulk();
    return SaveIndex(dir + "/tree.lst", list) ? 0 : 1;
}

int ListIndex(const std::string& dir, bool sortAfter) {
    TMessageList list;
    auto start = TClock::now();
    const TIndexLoad load = LoadIndex(dir + "/tree.lst", list);
    Report("list-index", Seconds(start), load.Rows);
    if (!load.Ok)
        return 1;
    if (sortAfter) {
        start = TClock::now();
        list.HeadingClick(1);
        Report("sort-by-date", Seconds(start), list.Count());
    }
    return 0;
}

std::string MessageText(std::mt19937& random, int i) {
    const std::string from = "Person " + std::to_string(i % 300) + " <person" +
                             std::to_string(i % 300) + "@example.com>";
    std::string head = "Return-Path: <person@example.com>\r\n"
                       "Received: from mail.example.com (mail.example.com [192.0.2.7])\r\n"
                       "\tby mx.example.org with ESMTPS id " + std::to_string(random()) + "\r\n"
                       "\tfor <me@example.org>; Tue, 05 Mar 2024 14:07:09 +0100\r\n"
                       "From: " + from + "\r\nTo: Me <me@example.org>, team@example.org\r\n"
                       "Subject: " + Words(random, 4) + " #" + std::to_string(i) + "\r\n"
                       "Date: Tue, " + std::to_string(1 + i % 28) + " Mar 2024 1" +
                       std::to_string(i % 10) + ":07:09 +0100\r\nMessage-ID: <" +
                       std::to_string(i) + "." + std::to_string(random()) + "@example.com>\r\n"
                       "MIME-Version: 1.0\r\n";
    std::string body;
    const int lines = 20 + static_cast<int>(random() % 120);
    for (int l = 0; l < lines; ++l)
        body += Words(random, 9) + "\r\n";
    const int kind = static_cast<int>(random() % 20);
    if (kind < 12) // plain text
        return head + "Content-Type: text/plain; charset=utf-8\r\n"
                      "Content-Transfer-Encoding: 8bit\r\n\r\n" + body;
    if (kind < 17) { // text and HTML alternatives
        std::string html = "<html><body><p>" + body + "</p></body></html>\r\n";
        return head + "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
                      "--alt\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + body +
               "--alt\r\nContent-Type: text/html; charset=utf-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + html + "--alt--\r\n";
    }
    // With an attachment of 20 to 120 KB.
    std::string attachment;
    const int rows = 260 + static_cast<int>(random() % 1300);
    static const char kBase64[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 76; ++c)
            attachment += kBase64[random() % 64];
        attachment += "\r\n";
    }
    return head + "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n"
                  "--mix\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + body +
           "--mix\r\nContent-Type: application/pdf; name=\"doc" + std::to_string(i) +
           ".pdf\"\r\nContent-Disposition: attachment; filename=\"doc" + std::to_string(i) +
           ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + attachment + "--mix--\r\n";
}

int GenMail(const std::string& home, const std::string& maildir, int count) {
    const std::string inbox = home + "/Projects/1000/inbox/";
    fs::create_directories(inbox);
    for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(maildir + "/" + sub);
    std::mt19937 random(11);
    for (int i = 0; i < count; ++i) {
        const bool unread = random() % 4 == 0;
        const std::string stem = std::to_string(10000000 + i);
        const std::string name = (unread ? "_" : "") + stem + ".eml";
        if (!WriteFileAtomically(inbox + name, MessageText(random, i)))
            return 1;
        // The same file for the peers, as a Maildir message (seen unless unread).
        fs::create_hard_link(inbox + name, maildir + "/cur/" + stem + ".bench:2," +
                                               (unread ? "" : "S"));
    }
    return 0;
}

struct TBench {
    explicit TBench(const std::string& home) {
        TShellOptions options;
        options.ProgramDir = home + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        Shell->FormCreate();
        Shell->Sounds().LookUp(home + "/none/");
        Work = std::make_unique<TWorkspace>(*Shell);
        View = std::make_unique<TFolderView>(*Work);
        Shell->StartingUp = false;
    }
    TScriptedUi Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TFolderView> View;
};

int Rebuild(const std::string& home) {
    TBench bench(home);
    bench.View->SetFolderStale(1000, kFolderInbox, true);
    const auto start = TClock::now();
    bench.View->ListFolder(1000, kFolderInbox);
    Report("rebuild", Seconds(start), bench.View->List.Count());
    return bench.View->List.Count() > 0 ? 0 : 1;
}

// Selects the first n rows.
void SelectFirst(TMessageList& list, int n) {
    list.ClearSelection();
    for (int i = 0; i < n && i < list.Count(); ++i)
        list.Select(i, true);
}

int Ops(const std::string& home, int count) {
    TBench bench(home);
    TWorkspace& work = *bench.Work;
    TFolderView& view = *bench.View;
    work.FormCreateTrees();
    TNode* project = work.AccountTree.FindFirst(
        [](const TNode& n) { return NodeNumber(n.Text()) >= kFirstDefaultProject; });
    if (!project)
        return 1;
    const int number = NodeNumber(project->Text());
    // The files: small messages in the inbox of the default project.
    const std::string inbox = FolderPath(bench.Shell->Dirs().Store, number, kFolderInbox);
    fs::create_directories(inbox);
    std::mt19937 random(3);
    for (int i = 0; i < count; ++i) {
        std::string text = "From: A <a@example.org>\r\nTo: b@example.org\r\nSubject: " +
                           Words(random, 4) + "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0100\r\n\r\n" +
                           Words(random, 30) + "\r\n";
        WriteFileAtomically(inbox + "_" + std::to_string(20000000 + i) + ".eml", text);
    }
    work.AccountTree.Select(project);
    work.FolderTreeClick(); // lists the inbox (rebuilt from its files)
    if (view.List.Count() != count)
        return 1;

    SelectFirst(view.List, count);
    auto start = TClock::now();
    view.ChangeMessageState(kToggleFlag, false);
    Report("state-change", Seconds(start), count);

    view.Hooks.ChooseDestination = [number](TNodeTree&) {
        return PickerFolderText(number, kFolderDrafts, "Drafts");
    };
    SelectFirst(view.List, count);
    start = TClock::now();
    view.MenuMoveClick();
    Report("move", Seconds(start), count - view.List.Count());

    TNode* drafts = FindTopLevel(work.ProjectTree, kFolderDrafts);
    work.ProjectTree.Select(drafts);
    view.ProjectTreeClick();
    SelectFirst(view.List, count);
    start = TClock::now();
    view.MenuDeleteClick();
    Report("delete", Seconds(start), count - view.List.Count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: store_bench MODE ARGS (see the source)\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "gen-index" && argc == 4)
        return GenIndex(argv[2], Number(argv[3]));
    if (mode == "list-index")
        return ListIndex(argv[2], false);
    if (mode == "sort-index")
        return ListIndex(argv[2], true);
    if (mode == "gen-mail" && argc == 5)
        return GenMail(argv[2], argv[3], Number(argv[4]));
    if (mode == "rebuild")
        return Rebuild(argv[2]);
    if (mode == "ops" && argc == 4)
        return Ops(argv[2], Number(argv[3]));
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
