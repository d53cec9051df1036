#include "collect_run.h"

#include "processing/transfer_gate.h"
#include "processing/transfer_run.h"
#include "shell/directories.h"
#include "shell/shell_state.h"
#include "shell/ui_services.h"
#include "store/node_helpers.h"
#include "shell/window_lock.h"
#include "store/workspace.h"

#include <charconv>
#include <chrono>
#include <iostream>
#include <thread>

namespace pelmora {

namespace {

// The user interface of a run nobody watches: messages go to standard error, questions get
// the cautious answer (No), nothing is chosen and nothing is shown. There is no window whose
// events would need pumping, so waiting is sleeping.
class TConsoleUi : public TUiServices {
public:
    void ShowPopup(const TPopupRequest& request) override {
        std::string text = request.Text;
        for (char& c : text) {
            if (c == '\r')
                c = ' ';
        }
        std::cerr << request.Caption << " " << text << "\n";
    }
    void ClosePopup() override {}
    void EditInPopup(const std::string&, std::string&) override {}
    int AskDialog(const std::string& caption, const std::string& text, int, bool&, bool) override {
        std::cerr << caption << " " << text << " -> No\n";
        return kAskSecond;
    }
    std::optional<std::string> QueryText(const std::string&, const std::string&,
                                         const std::string&, bool) override {
        return std::nullopt;
    }
    // Nothing is played; reporting a failure would switch the user's sounds off for good.
    bool PlaySoundFile(const std::string&) override { return true; }
    void Beep() override {}
    void Pump() override {}
    void Wait(int milliseconds) override {
        if (milliseconds > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&,
                                              const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void SetBusyCursor(bool) override {}
    bool ShowAnimationFrame(const std::string&) override { return true; }
    void SetStatusText(TStatusBar, const std::string&) override {}
    void SetStatusColour(TStatusBar, TStatusColour) override {}
};

} // namespace

TCollectCommand TakeCollectOptions(std::vector<std::string>& arguments) {
    TCollectCommand command;
    for (auto it = arguments.begin(); it != arguments.end();) {
        if (*it == "--collect") {
            command.Collect = true;
            it = arguments.erase(it);
        } else if (*it == "--account") {
            int number = -1;
            bool valid = std::next(it) != arguments.end();
            if (valid) {
                const std::string& value = *std::next(it);
                const auto [end, error] =
                    std::from_chars(value.data(), value.data() + value.size(), number);
                valid = error == std::errc() && end == value.data() + value.size() && number >= 0;
            }
            if (!valid) {
                command.Error = "--account needs an account number";
                return command;
            }
            command.Account = number;
            it = arguments.erase(it, std::next(it, 2));
        } else if (*it == "--send-only") {
            command.SendOnly = true;
            it = arguments.erase(it);
        } else {
            ++it;
        }
    }
    if (command.Account && !command.Collect)
        command.Error = "--account only goes with --collect";
    else if (command.SendOnly && !command.Collect)
        command.Error = "--send-only only goes with --collect";
    return command;
}

std::optional<int> RunCollectIfAsked(TStartArguments& args) {
    const TCollectCommand command = TakeCollectOptions(args.Others);
    if (!command.Error.empty()) {
        std::cerr << "pelmora: " << command.Error << "\n";
        return 1;
    }
    if (!command.Collect)
        return std::nullopt;
    return RunCollect({ResolveDataHome(args.Home), command.Account, command.SendOnly});
}

int RunCollect(const TCollectOptions& options) {
    TConsoleUi ui;
    TShellOptions shellOptions;
    shellOptions.ProgramDir = options.ProgramDir;
    shellOptions.ChangeWorkingDirectory = false;
    TShell shell(shellOptions, ui);
    shell.LoadMessageTexts();
    const TCreateResult created = shell.FormCreate();
    if (!created.Ok) {
        std::cerr << "pelmora: the data home " << options.ProgramDir << " cannot be used\n";
        return 1;
    }
    TWorkspace work(shell);
    // A window open on this data home owns its trees and may be rewriting indexes: the run
    // then only reads the account tree and adds rows and files.
    const bool windowRunning = TWindowLock::IsHeld(options.ProgramDir);
    if (windowRunning) {
        work.LoadAccountTree();
    } else {
        work.FormCreateTrees();
    }
    shell.StartingUp = false;
    shell.FirstActivation = false;

    TTransferRun run(work);
    if (options.Account) {
        TNode* node = FindTopLevel(work.AccountTree, *options.Account);
        if (!node || !IsAccountNode(node)) {
            std::cerr << "pelmora: there is no account " << *options.Account << "\n";
            return 1;
        }
        if (!IsCompleteAccount(work.ReadAccountSettings(node), shell.Text(3, 14))) {
            std::cerr << "pelmora: account " << *options.Account
                      << " lacks a server, login, password or e-mail address\n";
            return 1;
        }
    }
    TTransferGate gate(run);
    const TTransferStart started = gate.RunLocked([&] {
        if (options.Account)
            run.RunTransfer(*options.Account, options.SendOnly ? kSendOnly : kRetrieveAndSend, true,
                            false);
        else if (options.SendOnly)
            run.RunTransfer(-1, kSendOnly, true, true);
        else
            StartTransferCommand(run, TTransferCommand::CollectMailTimer);
    });
    if (started == TTransferStart::Locked) {
        std::cerr << "pelmora: " << options.ProgramDir << " is locked\n";
        return 1;
    }
    for (const std::string& line : shell.SessionLog().Items())
        std::cout << line << "\n";
    std::cout.flush();
    // A default project that routing created must be in the tree, or every later run creates
    // another one nobody sees. A window open on this data home owns the tree and writes its
    // own copy at close, so the run then leaves it alone (it asks again: a window may have
    // opened while the run went on).
    if (shell.AccountTreeChanged) {
        if (!windowRunning && !TWindowLock::IsHeld(options.ProgramDir)) {
            if (!work.SaveAccountTree())
                std::cerr << "pelmora: the account tree of " << options.ProgramDir
                          << " could not be saved\n";
        } else {
            std::cerr << "pelmora: a window is open on " << options.ProgramDir
                      << "; the account tree changes of this run are not saved\n";
        }
    }
    const int errors = run.RetrieveErrors + run.SendErrors + run.Refused;
    return errors > 0 ? 1 : 0;
}

} // namespace pelmora
