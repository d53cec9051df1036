// The message store under load. One program, one measurement per call, so that the script
// can time each step from outside (wall and CPU time, peak memory) beside a peer on the same
// files. SET (1 or 2, default 1) picks the input set of store_inputs.h.
//
//   store_bench gen-index DIR ROWS [SET]        writes DIR/tree.lst with ROWS rows
//   store_bench list-index DIR                  lists DIR/tree.lst into the message list
//   store_bench sort-index DIR DATES            lists it, sorts by date, writes the date
//                                               column in its new order to the file DATES
//   store_bench check-index DIR                 lists it and prints its rows and text bytes
//   store_bench gen-mail HOME MAILDIR N [SET]   writes N message files into project 1000's
//                                               inbox of the data home HOME and links them
//                                               into MAILDIR/cur
//   store_bench rebuild HOME                    rebuilds the inbox list from its files
//   store_bench ops HOME N [SET]                state change, move and delete of N selected
//                                               rows
//
// Every measuring mode prints "name wall-seconds cpu-seconds count" lines.

#include "store_inputs.h"

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

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pelmora;

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

int Number(const char* text) {
    int value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

// CPU seconds (user + system) of this process so far.
double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The wall and CPU time of one step.
struct TStopwatch {
    TClock::time_point Start = TClock::now();
    double Cpu = CpuSeconds();
    void Report(const char* name, long count) const {
        std::printf("%s %.6f %.6f %ld\n", name, Seconds(Start), CpuSeconds() - Cpu, count);
        std::fflush(stdout);
    }
};

int GenIndex(const std::string& dir, int rows, int set) {
    fs::create_directories(dir);
    TMessageList list;
    list.BeginBulk();
    bench::AppendIndexRows(list, rows, set);
    list.EndBulk();
    return SaveIndex(dir + "/tree.lst", list) ? 0 : 1;
}

// Lists the index; with `datesFile`, sorts by date and writes the date column of the sorted
// list there, one per line.
int ListIndex(const std::string& dir, const char* datesFile) {
    TMessageList list;
    TStopwatch watch;
    const TIndexLoad load = LoadIndex(dir + "/tree.lst", list);
    watch.Report("list-index", load.Rows);
    if (!load.Ok)
        return 1;
    if (datesFile) {
        watch = TStopwatch();
        list.HeadingClick(1);
        watch.Report("sort-by-date", list.Count());
        std::string dates;
        for (const TListRow& row : list.AllRows())
            (dates += row.SubItem(0)) += '\n';
        if (!WriteFileAtomically(datesFile, dates))
            return 1;
    }
    return 0;
}

// Lists the index and prints what it holds: "cells ROWS BYTES", BYTES the length of all six
// texts of every row.
int CheckIndex(const std::string& dir) {
    TMessageList list;
    const TIndexLoad load = LoadIndex(dir + "/tree.lst", list);
    long bytes = 0;
    for (const TListRow& row : list.AllRows())
        for (int column = 0; column < kListColumnCount; ++column)
            bytes += static_cast<long>(row.Cell(column).size());
    std::printf("cells %d %ld\n", list.Count(), bytes);
    return load.Ok ? 0 : 1;
}

int GenMail(const std::string& home, const std::string& maildir, int count, int set) {
    const std::string inbox = home + "/Projects/1000/inbox/";
    fs::create_directories(inbox);
    for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(maildir + "/" + sub);
    bench::TMailGenerator generator(set);
    for (int i = 0; i < count; ++i) {
        bool unread = false;
        const std::string text = generator.Next(i, unread);
        const std::string stem = std::to_string(10000000 + i);
        const std::string name = (unread ? "_" : "") + stem + ".eml";
        if (!WriteFileAtomically(inbox + name, text))
            return 1;
        // The same file for the peers, as a Maildir message (seen unless unread).
        fs::create_hard_link(inbox + name,
                             maildir + "/cur/" + stem + ".bench:2," + (unread ? "" : "S"));
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
    const TStopwatch watch;
    bench.View->ListFolder(1000, kFolderInbox);
    watch.Report("rebuild", bench.View->List.Count());
    return bench.View->List.Count() > 0 ? 0 : 1;
}

// Selects every `step`-th row, `n` rows at most.
void SelectEvery(TMessageList& list, int step, int n) {
    list.ClearSelection();
    for (int i = 0, chosen = 0; i < list.Count() && chosen < n; i += step, ++chosen)
        list.Select(i, true);
}

// State change, move to the drafts and delete of `count` selected rows. Set 1 selects every
// row of a folder of `count` small messages; set 2 every second row of a folder of twice as
// many longer ones (the rows left between the selected ones are kept in place).
int Ops(const std::string& home, int count, int set) {
    TBench bench(home);
    TWorkspace& work = *bench.Work;
    TFolderView& view = *bench.View;
    work.FormCreateTrees();
    TNode* project = work.AccountTree.FindFirst(
        [](const TNode& n) { return NodeNumber(n.Text()) >= kFirstDefaultProject; });
    if (!project)
        return 1;
    const int number = NodeNumber(project->Text());
    const int step = set == 1 ? 1 : 2;
    const int files = count * step;
    const std::string inbox = FolderPath(bench.Shell->Dirs().Store, number, kFolderInbox);
    fs::create_directories(inbox);
    std::mt19937 random(set == 1 ? 3 : 31);
    for (int i = 0; i < files; ++i)
        WriteFileAtomically(inbox + "_" + std::to_string(20000000 + i) + ".eml",
                            bench::OperationMessageText(random, set));
    work.AccountTree.Select(project);
    work.FolderTreeClick(); // lists the inbox (rebuilt from its files)
    if (view.List.Count() != files)
        return 1;

    SelectEvery(view.List, step, count);
    TStopwatch watch;
    view.ChangeMessageState(kToggleFlag, false);
    watch.Report("state-change", view.List.SelectedCount());

    view.Hooks.ChooseDestination = [number](TNodeTree&) {
        return PickerFolderText(number, kFolderDrafts, "Drafts");
    };
    SelectEvery(view.List, step, count);
    int before = view.List.Count();
    watch = TStopwatch();
    view.MenuMoveClick();
    watch.Report("move", before - view.List.Count());

    TNode* drafts = FindTopLevel(work.ProjectTree, kFolderDrafts);
    work.ProjectTree.Select(drafts);
    view.ProjectTreeClick();
    SelectEvery(view.List, 1, count);
    before = view.List.Count();
    watch = TStopwatch();
    view.MenuDeleteClick();
    watch.Report("delete", before - view.List.Count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: store_bench MODE ARGS (see the source)\n");
        return 2;
    }
    const std::string mode = argv[1];
    // The input set, where a mode takes one: the last argument, 1 when left out.
    auto set = [&](int setArgument) {
        return argc > setArgument ? std::clamp(Number(argv[setArgument]), 1, bench::kStoreSets) : 1;
    };
    if (mode == "gen-index" && (argc == 4 || argc == 5))
        return GenIndex(argv[2], Number(argv[3]), set(4));
    if (mode == "list-index" && argc == 3)
        return ListIndex(argv[2], nullptr);
    if (mode == "sort-index" && argc == 4)
        return ListIndex(argv[2], argv[3]);
    if (mode == "check-index" && argc == 3)
        return CheckIndex(argv[2]);
    if (mode == "gen-mail" && (argc == 5 || argc == 6))
        return GenMail(argv[2], argv[3], Number(argv[4]), set(5));
    if (mode == "rebuild" && argc == 3)
        return Rebuild(argv[2]);
    if (mode == "ops" && (argc == 4 || argc == 5))
        return Ops(argv[2], Number(argv[3]), set(4));
    std::fprintf(stderr, "unknown mode or arguments: %s\n", mode.c_str());
    return 2;
}
