#pragma once
// The transfer run: for one account or for every account of the account tree it retrieves new
// mail over POP3, routes and stores every message (file first, flushed, then its index row,
// and only then the deletion on the server), queues read receipts, sends automatic answers,
// and then sends the outboxes of the account's projects over SMTP (outbox_sending.h). It
// runs on the UI thread and pumps through TUiServices; only one run is active at a time.
// Everything it does goes to the session log (appended to "mail.log" at the end) and to the
// progress state that a progress window may observe. Failures are counted and logged and
// never end the run early; nothing is thrown.
//
// TTransferRun is the run state the main window keeps: the flags, counters and the progress
// window's state. The clients and the message object live only while a run lasts.

#include "processing/transfer_progress.h"
#include "shell/own_texts.h"
#include "store/account_settings.h"
#include "transport/dialup_connection.h"
#include "transport/trusted_certificates.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;
class TPop3Client;
class TShell;
class TSmtpClient;
class TWorkspace;
struct TCertificateState;
struct TIndexRow;
struct TRoutingResult;

// The run's modes.
constexpr int kRetrieveAndSend = 0;
constexpr int kRetrieveOnly = 1;
constexpr int kSendOnly = 2;

// An account is processed when its POP3 server, login and password, SMTP server and e-mail
// address are all set: not empty after trimming and not notSetText (3/14, "-not set-").
bool IsCompleteAccount(const AccountSettings& account, const std::string& notSetText);
// SMTP authentication is used when the login, trimmed, is set and is not notSetText (3/14).
bool UsesSmtpAuthentication(const AccountSettings& account, const std::string& notSetText);
// The account's project numbers in tree order.
std::vector<int> AccountProjects(const AccountSettings& account);

// What the run needs of the main window; every hook may be empty.
struct TTransferRunHooks {
    // A second start while a run is active: bring the progress window forward.
    std::function<void()> ShowProgressWindow;
    // An attended run creates the progress window (replacing any) and gets its observer;
    // null when there is none to show.
    std::function<TTransferProgressObserver*()> CreateProgressWindow;
    // The run frees its window ("Close this window when done").
    std::function<void()> FreeProgressWindow;
    // Re-runs the account-tree selection handler after a refused single-account start.
    std::function<void()> ReselectAccount;
    // Stops (false) or restarts (true) the collection timer.
    std::function<void(bool running)> SetCollectTimer;
    // Starts the little-jobs timer so that the folder counts are refreshed.
    std::function<void()> StartLittleJobs;
    // A row was added to a folder of the project the project tree shows (the UI adds it to
    // the visible list when that folder is selected, and refreshes the folder's counts).
    std::function<void(int project, int folderCode, const TIndexRow& row)> RowFiled;
    // The outbox row of a sent file was removed from the shown project's outbox index.
    std::function<void(int project, const std::string& fileName)> OutboxRowRemoved;
    // "Show Mail Transfer Progress Window" enabled or not.
    std::function<void(bool enabled)> ShowTransferEnabled;
    // Hangs the dial-up connection up after a run ("Auto-Disconnect after mail pickup").
    std::function<void()> HangUp;
};

class TTransferRun {
public:
    explicit TTransferRun(TWorkspace& workspace);
    ~TTransferRun();
    TTransferRun(const TTransferRun&) = delete;
    TTransferRun& operator=(const TTransferRun&) = delete;

    TTransferRunHooks Hooks;
    DialupConnection Dialup;
    // Certificate authorities trusted beside the system's (tests use their own).
    std::string CaFile;

    // Run state kept between runs.
    bool AbortTransfer = false;
    bool ReceiptsPrepared = false;
    std::string LastActionText;
    bool ProgressWindowExists = false;
    TTransferProgressState Progress;

    // Counters of the last run.
    int Downloaded = 0;
    int Blocked = 0;
    int Refused = 0;
    int RetrieveErrors = 0;
    int SendErrors = 0;

    // Starts a run: account number (or -1), mode 0 retrieve and send, 1 retrieve only, 2 send
    // only; unattended for the collection timer; allAccounts for every account with "Active
    // Pickup".
    void RunTransfer(int account, int mode, bool unattended, bool allAccounts);

    // The progress window's "Abort!": drops both connections, sets AbortTransfer and stops
    // the busy animation. The run stops at its next check.
    void AbortClick();
    // "Show Mail Transfer Progress Window" when no window exists and a run is active: the
    // new window shows the last action at once.
    void AttachProgressWindow(TTransferProgressObserver* observer);
    // The window went away (closed by the user).
    void DetachProgressWindow();
    // The progress window's button: "Abort!" while the run goes on, "Close" after it. True
    // when the window is to close, which is always; a window the run no longer shows aborts
    // nothing.
    bool ProgressButtonClick(const TTransferProgressObserver* window);
    // The progress window closes, however that came about: while the run still shows it, its
    // two check boxes are kept for the next run and the run lets it go. True when the session
    // log is to be shown now (the run has finished and "ShowLogAfterClose" is ticked).
    bool ProgressWindowClosing(const TTransferProgressObserver* window);

    // --- Used while a run lasts (outbox sending, tests) ---
    TWorkspace& Workspace() { return Work; }
    TShell& Shell();
    bool Unattended() const { return RunUnattended; }
    bool AllAccounts() const { return RunAllAccounts; }
    TPop3Client& Pop3() { return *Pop3Client; }
    TSmtpClient& Smtp() { return *SmtpClient; }
    TMailMessage& Message() { return *MailMessage; }
    const std::string& Text(int module, int slot) const;
    const std::string& Own(TOwnText id) const;

    // An event line of the session log; a raw line (header dumps).
    void Log(std::string_view text);
    void LogRaw(std::string line);
    // ">------------------", every header line, "<------------------".
    void LogHeader(const TMailMessage& message);
    // The action line of the progress window (kept in LastActionText).
    void Action(std::string text);
    // Pumps the UI's message queue.
    // Serves the window's events, at most every 20 ms of work: progress arrives per block
    // read and per message, far more often than a window can show it.
    void Pump();
    std::chrono::steady_clock::time_point LastPump_{};
    void PlayAttention();
    // A modeless warning pop-up (caption text 1/262, size 12).
    void Warn(const std::string& text, int displayMs);

    // Sets host, port, time-out and TLS of a client from the account and "pelmora.ini".
    void PreparePop3(const AccountSettings& account);
    void PrepareSmtp(const AccountSettings& account);
    int Pop3PortOf(const AccountSettings& account) const;
    int SmtpPortOf(const AccountSettings& account) const;
    // OpenSession; when the server's certificate fails verification in an attended run the
    // user is asked once per server whether to trust it, and on Yes the fingerprint is stored
    // and the session opened again. An unattended run logs the reason.
    bool OpenPop3();
    bool OpenSmtp();
    // The message-list row of a file just filed into a folder; shown when the project is on
    // screen.
    void FiledRow(int project, int folderCode, const TIndexRow& row);

private:
    bool PreChecks(int account, int mode, bool unattended, bool allAccounts,
                   AccountSettings& single);
    bool ConnectionCheck(bool unattended);
    void StartRun(bool unattended);
    void VisitAccount(AccountSettings& account, int mode, bool& stop);
    // Returns false when aborted.
    bool Retrieve(AccountSettings& account);
    bool RetrieveMessage(AccountSettings& account, int n, std::int64_t& completedBytes);
    void AfterStoring(AccountSettings& account, const TRoutingResult& route);
    void EndRun();
    std::string Summary() const;
    bool AskTrust(const std::string& protocol, const TCertificateState& state);
    void LogRefusedCertificate(const std::string& protocol, const TCertificateState& state);

    TWorkspace& Work; // Not owned.
    TTrustedCertificates Trusted;
    std::set<std::string> AskedServers; // certificates asked about during this run
    std::unique_ptr<TPop3Client> Pop3Client;
    std::unique_ptr<TSmtpClient> SmtpClient;
    std::unique_ptr<TMailMessage> MailMessage;
    std::unique_ptr<TMailMessage> WorkMessage; // receipts and automatic answers
    bool RunUnattended = false;
    bool RunAllAccounts = false;
    std::int64_t AccountBytesIn = 0;

public:
    // Bytes of the messages sent for the current account (outbox sending keeps it).
    std::int64_t AccountBytesOut = 0;
};

// The commands that start runs: the "Mail Commands" menu, the account popup menu and the
// collection timer.
enum class TTransferCommand {
    SendReceiveAll,       // "Retrieve+Send Mail for All Accounts" (F8)
    RetrieveAll,          // "Retrieve Mail for All Accounts"
    SendAll,              // "Send Mail for All Accounts"
    SendRetrieveSelected, // "Send and Retrieve Mail for this Account"
    RetrieveSelected,     // "Retrieve Mail for this Account"
    SendSelected,         // "Send Mail for this Account"
    CollectMailTimer,     // a tick of the collection timer (unattended)
};

// Makes the checks of a command and starts its run. The commands for the selected account
// (and "Retrieve Mail for All Accounts") need a selected account whose caption shows an
// e-mail address: otherwise a pop-up says so (text 1/109 or 0/24) and, for a missing
// address, the account's e-mail address node is selected. False when no run was started.
bool StartTransferCommand(TTransferRun& run, TTransferCommand command);

} // namespace pelmora
