#include "processing/transfer_run.h"

#include "addressbook/blacklist.h"
#include "mime/header_fold.h"
#include "mime/mail_message.h"
#include "processing/answering_machine.h"
#include "processing/index_row.h"
#include "processing/mail_log.h"
#include "processing/outbox_sending.h"
#include "processing/receipts.h"
#include "processing/routing.h"
#include "processing/uidl_store.h"
#include "shell/shell_state.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"
#include "transport/pop3_client.h"
#include "transport/smtp_client.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace pelmora {

namespace {

constexpr std::string_view kReceivedWith = "Pelmora v.3.0.5";
constexpr std::string_view kHeaderDumpStart = ">------------------";
constexpr std::string_view kHeaderDumpEnd = "<------------------";

TSecurity SecurityOf(TMailSecurity security) {
    switch (security) {
    case TMailSecurity::StartTls:
        return TSecurity::StartTls;
    case TMailSecurity::SslTls:
        return TSecurity::SslTls;
    case TMailSecurity::None:
        break;
    }
    return TSecurity::None;
}

int ToNumber(std::string_view text) {
    int value = -1;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return -1;
    return value;
}

// "ddd mmm yyyy hh:nn:ss.zzz" of the current local time.
std::string ArrivalTimeText(std::chrono::system_clock::time_point now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s %s %04d %02d:%02d:%02d.%03d", kDays[local.tm_wday % 7],
                  kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms));
    return buffer;
}

// Puts the "Received" and "X-OriginalArrivalTime" lines at the top of a retrieved message's
// header and returns them as they go in front of the server's text in the file.
std::string AddArrivalHeaders(TMailMessage& message, const AccountSettings& account) {
    message.AddReceivedHeader(account.DisplayName, account.POP3Server,
                              message.ToRecipients.AddressesCommaText(), kReceivedWith);
    std::string arrival =
        "X-OriginalArrivalTime: " + ArrivalTimeText(std::chrono::system_clock::now());
    message.HeaderLines.insert(message.HeaderLines.begin() + 1, arrival);
    return FoldHeaderText(message.HeaderLines.front() + "\r\n" + arrival);
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

} // namespace

bool IsCompleteAccount(const AccountSettings& account, const std::string& notSetText) {
    for (const std::string* value : {&account.POP3Server, &account.POP3Login, &account.POP3Password,
                                     &account.SMTPServer, &account.EmailAddress}) {
        const std::string text = Trimmed(*value);
        if (text.empty() || text == notSetText || text == "-not set-")
            return false;
    }
    return true;
}

bool UsesSmtpAuthentication(const AccountSettings& account, const std::string& notSetText) {
    const std::string login = Trimmed(account.SMTPLogin);
    return !login.empty() && login != notSetText;
}

std::vector<int> AccountProjects(const AccountSettings& account) {
    std::vector<int> projects;
    for (const std::string& number : account.ProjectNumbers) {
        const int project = ToNumber(number);
        if (project > 0)
            projects.push_back(project);
    }
    return projects;
}

TTransferRun::TTransferRun(TWorkspace& workspace) : Work(workspace) {}

TTransferRun::~TTransferRun() = default;

TShell& TTransferRun::Shell() {
    return Work.Shell();
}

const std::string& TTransferRun::Text(int module, int slot) const {
    return Work.Shell().Text(module, slot);
}

const std::string& TTransferRun::Own(TOwnText id) const {
    return Work.Shell().Texts().Own(id);
}

void TTransferRun::Log(std::string_view text) {
    AddLogEvent(Shell().SessionLog(), text);
}

void TTransferRun::LogRaw(std::string line) {
    Shell().SessionLog().Add(std::move(line));
}

void TTransferRun::LogHeader(const TMailMessage& message) {
    LogRaw(std::string(kHeaderDumpStart));
    for (const std::string& line : message.HeaderLines)
        LogRaw(line);
    LogRaw(std::string(kHeaderDumpEnd));
}

void TTransferRun::Action(std::string text) {
    LastActionText = text;
    if (ProgressWindowExists)
        Progress.SetAction(std::move(text));
}

void TTransferRun::Pump() {
    const auto now = std::chrono::steady_clock::now();
    if (now - LastPump_ < std::chrono::milliseconds(20))
        return;
    LastPump_ = now;
    Shell().Ui().Pump();
}

void TTransferRun::PlayAttention() {
    Shell().PlaySound(TSound::Attention);
}

void TTransferRun::Warn(const std::string& text, int displayMs) {
    TPopupRequest request;
    request.Caption = Text(1, 262);
    request.Text = text;
    request.DisplayMs = displayMs;
    request.TextSize = 12;
    request.Modeless = true;
    Shell().Ui().ShowPopup(request);
}

int TTransferRun::Pop3PortOf(const AccountSettings& account) const {
    if (account.POP3Port > 0)
        return account.POP3Port;
    const int port = Work.Shell().Settings().GetInt(TSettingKey::POP3_Port);
    return port > 0 && port < 65536 ? port : 110;
}

int TTransferRun::SmtpPortOf(const AccountSettings& account) const {
    if (account.SMTPPort > 0)
        return account.SMTPPort;
    const int port = Work.Shell().Settings().GetInt(TSettingKey::SMTP_Port);
    return port > 0 && port < 65536 ? port : 25;
}

void TTransferRun::PreparePop3(const AccountSettings& account) {
    TPop3Client& pop3 = *Pop3Client;
    pop3.Host = account.POP3Server;
    pop3.Port = Pop3PortOf(account);
    pop3.UserName = account.POP3Login;
    pop3.Password = account.POP3Password;
    pop3.Security = SecurityOf(account.POP3Security);
    pop3.Tls.CaFile = CaFile;
    pop3.Tls.Trusted = &Trusted;
}

void TTransferRun::PrepareSmtp(const AccountSettings& account) {
    TSmtpClient& smtp = *SmtpClient;
    smtp.Host = account.SMTPServer;
    smtp.Port = SmtpPortOf(account);
    smtp.Security = SecurityOf(account.SMTPSecurity);
    smtp.Tls.CaFile = CaFile;
    smtp.Tls.Trusted = &Trusted;
    if (UsesSmtpAuthentication(account, Text(3, 14))) {
        smtp.UserName = account.SMTPLogin;
        smtp.Password = account.SMTPPassword;
    } else {
        smtp.UserName.clear();
        smtp.Password.clear();
    }
}

void TTransferRun::LogRefusedCertificate(const std::string& protocol,
                                         const TCertificateState& state) {
    Log(protocol + FillText(Own(TOwnText::CertificateRefused),
                            {state.Server, state.Check.Reason, state.Check.Fingerprint}));
}

bool TTransferRun::AskTrust(const std::string& protocol, const TCertificateState& state) {
    LogRefusedCertificate(protocol, state);
    if (RunUnattended || state.Check.Fingerprint.empty() || state.Server.empty())
        return false;
    if (!AskedServers.insert(state.Server + " " + state.Check.Fingerprint).second)
        return false;
    PlayAttention();
    bool check = false;
    const std::string question =
        FillText(Own(TOwnText::CertificateQuestion),
                 {state.Server, state.Check.Reason, state.Check.Fingerprint});
    if (Shell().Ui().AskDialog(Text(1, 262), question, 11, check, false) != kAskFirst)
        return false;
    Trusted.Trust(state.Server, state.Check.Fingerprint);
    TSettings& settings = Shell().Settings();
    Trusted.Store(settings.File());
    if (!settings.Save())
        Log(protocol + Own(TOwnText::CertificateNotStored));
    Log(protocol + FillText(Own(TOwnText::CertificateTrusted), {state.Server}));
    return true;
}

bool TTransferRun::OpenPop3() {
    if (Pop3Client->OpenSession())
        return true;
    if (!Pop3Client->Certificate.Refused || !AskTrust(Text(1, 285), Pop3Client->Certificate))
        return false;
    Pop3Client->DropConnection();
    return Pop3Client->OpenSession();
}

bool TTransferRun::OpenSmtp() {
    if (SmtpClient->OpenSession())
        return true;
    if (!SmtpClient->Certificate.Refused || !AskTrust(Text(1, 286), SmtpClient->Certificate))
        return false;
    SmtpClient->DropConnection();
    return SmtpClient->OpenSession();
}

void TTransferRun::FiledRow(int project, int folderCode, const TIndexRow& row) {
    if (Hooks.StartLittleJobs)
        Hooks.StartLittleJobs();
    if (!Hooks.RowFiled)
        return;
    TNode* accountNode = Work.CurrentAccountNode();
    if (!accountNode || Work.Shell().CurrentProject != project)
        return;
    TNode* account = AccountOf(accountNode);
    // Only rows of the project the project tree shows, for its own account, reach the view.
    const AccountSettings shown = Work.ReadAccountSettings(account);
    const std::string number = std::to_string(project);
    if (std::find(shown.ProjectNumbers.begin(), shown.ProjectNumbers.end(), number) ==
        shown.ProjectNumbers.end())
        return;
    Hooks.RowFiled(project, folderCode, row);
}

// ---------------------------------------------------------------------------------------
// Start of a run

bool TTransferRun::PreChecks(int account, int /*mode*/, bool unattended, bool /*allAccounts*/,
                             AccountSettings& single) {
    TNode* node = FindTopLevel(Work.AccountTree, account);
    if (node)
        single = Work.ReadAccountSettings(node);
    if (node && IsCompleteAccount(single, Text(3, 14)))
        return true;
    PlayAttention();
    if (!unattended) {
        Warn(Text(0, 28), 8000);
        if (Hooks.ReselectAccount)
            Hooks.ReselectAccount();
    }
    return false;
}

bool TTransferRun::ConnectionCheck(bool unattended) {
    TShell& shell = Shell();
    bool failed = false;
    if (shell.Checks().AutoConnect) {
        Dialup.Dail = UNATTENDED;
        Dialup.SetActive(true);
        failed = Dialup.LastError() != 0;
    } else if (unattended) {
        // The error of the last dial only counts when a dial was made.
        if (Dialup.IsOnline() && Dialup.Active() && Dialup.LastError() != 0) {
            PlayAttention();
            shell.Ui().SetStatusColour(TStatusBar::Folder, TStatusColour::Red);
            shell.Ui().SetStatusText(TStatusBar::Folder, Text(1, 107));
            return false;
        }
        failed = !Dialup.IsOnline();
    } else if (!Dialup.IsOnline()) {
        Dialup.Dail = FORCE_ONLINE;
        Dialup.SetActive(true);
        failed = Dialup.LastError() != 0;
    }
    if (!failed)
        return true;
    if (unattended) {
        shell.PlaySound(TSound::Click);
    } else {
        PlayAttention();
        Warn(Text(0, 35), 8000);
    }
    shell.Ui().SetStatusColour(TStatusBar::Folder, TStatusColour::Red);
    shell.Ui().SetStatusText(TStatusBar::Folder, Text(1, 107));
    return false;
}

void TTransferRun::StartRun(bool unattended) {
    TShell& shell = Shell();
    shell.Animation().Start();
    if (Hooks.SetCollectTimer)
        Hooks.SetCollectTimer(false);
    ReceiptsPrepared = false;

    if (Pop3Client)
        Pop3Client->DropConnection();
    if (SmtpClient)
        SmtpClient->DropConnection();
    Pop3Client = std::make_unique<TPop3Client>(shell.Ui());
    SmtpClient = std::make_unique<TSmtpClient>(shell.Ui());
    MailMessage = std::make_unique<TMailMessage>();
    WorkMessage = std::make_unique<TMailMessage>();
    shell.SessionLog().Clear();

    TSettings& settings = shell.Settings();
    Pop3Client->TimeOut = std::max(1, settings.GetInt(TSettingKey::POP3_TimeOut));
    SmtpClient->TimeOut = std::max(1, settings.GetInt(TSettingKey::SMTP_TimeOut));
    const int packet = settings.GetInt(TSettingKey::SMTP_PacketSize);
    SmtpClient->PacketSize = packet > 0 ? static_cast<std::size_t>(packet) : 512;
    Trusted.Load(settings.File());
    AskedServers.clear();

    for (TMailMessage* message : {MailMessage.get(), WorkMessage.get()}) {
        message->ContentLocationBase = std::string(DefaultContentLocationBase);
        message->EmbedMethod = emContentLocation;
        message->OnProgress = [this](TMailMessage&, std::int64_t, std::int64_t) {
            if (Shell().TransferRunning)
                Pump();
        };
    }
    Pop3Client->MailMessage = MailMessage.get();
    Pop3Client->DeleteOnRetrieve = false;
    SmtpClient->MailMessage = MailMessage.get();
    SmtpClient->OnProgress = [this](const void*, std::int64_t total, std::int64_t current) {
        if (ProgressWindowExists) {
            Progress.Message.Maximum = total;
            TTransferProgressState::Advance(Progress.Message, current);
            Progress.Counters.BytesOut = AccountBytesOut + current;
            LastActionText = Progress.ActionLine;
            Progress.Changed();
        }
        Pump();
    };

    shell.TransferRunning = true;
    if (!unattended) {
        AbortTransfer = false;
        Progress.Observer = Hooks.CreateProgressWindow ? Hooks.CreateProgressWindow() : nullptr;
        ProgressWindowExists = true;
        Progress.Reset(Text(2, 22), settings.GetBool(TSettingKey::CloseOnReady),
                       settings.GetBool(TSettingKey::ShowLogAfterClose));
        if (Hooks.ShowTransferEnabled)
            Hooks.ShowTransferEnabled(true);
    }
    Downloaded = Blocked = Refused = RetrieveErrors = SendErrors = 0;
}

void TTransferRun::RunTransfer(int account, int mode, bool unattended, bool allAccounts) {
    TShell& shell = Shell();
    if (AbortTransfer)
        return;
    // A run still ending (its last pop-up or question open) counts as running.
    if (shell.TransferRunning || Work.BusyKind() == TCommandKind::Transfer) {
        if (Hooks.ShowProgressWindow)
            Hooks.ShowProgressWindow();
        Pump();
        return;
    }
    // No run inside a message or tree command; the run holds the workspace until EndRun has
    // asked its last question. A timer's run is refused quietly and tried at the next tick.
    const TCommandScope busy(Work, TCommandKind::Transfer, Own(TOwnText::MailTransferCommand),
                              unattended);
    if (!busy)
        return;
    LastActionText.clear();
    if (mode < kRetrieveAndSend || mode > kSendOnly)
        return;
    AccountSettings single;
    if (account >= 0 && !allAccounts && !PreChecks(account, mode, unattended, allAccounts, single))
        return;
    if (!ConnectionCheck(unattended))
        return;
    RunUnattended = unattended;
    RunAllAccounts = allAccounts;
    StartRun(unattended);

    std::vector<AccountSettings> accounts;
    if (allAccounts)
        accounts = Work.AllAccountSettings();
    else if (account >= 0)
        accounts.push_back(single);
    for (AccountSettings& settings : accounts) {
        if (AbortTransfer || shell.Closing)
            break;
        bool stop = false;
        VisitAccount(settings, mode, stop);
        if (stop)
            break;
    }
    EndRun();
}

// ---------------------------------------------------------------------------------------
// One account

void TTransferRun::VisitAccount(AccountSettings& account, int mode, bool& stop) {
    int accountMode = mode;
    if (!IsCompleteAccount(account, Text(3, 14))) {
        ++SendErrors;
        Log(Text(0, 28) + "\r\n");
        return;
    }
    if (accountMode == kRetrieveAndSend || accountMode == kSendOnly) {
        // The number waiting shows in the progress window; without one, whether any waits.
        int waiting = 0;
        for (int project : AccountProjects(account)) {
            const std::string outbox = FolderPath(Shell().Dirs().Store, project, 115) + "*.eml?";
            if (ProgressWindowExists) {
                waiting += CountMessageFiles(outbox).Total;
            } else if (AnyMessageFile(outbox)) {
                waiting = 1;
                break;
            }
        }
        if ((!RunAllAccounts || account.ScheduleMail) && waiting == 0 &&
            accountMode == kRetrieveAndSend) {
            accountMode = kRetrieveOnly;
        } else if (RunAllAccounts && !account.ScheduleMail && waiting == 0 &&
                   accountMode == kRetrieveAndSend) {
            return;
        } else if (waiting == 0 && accountMode == kSendOnly) {
            return;
        } else if (waiting > 0 && ProgressWindowExists) {
            Progress.Counters.Outbox = waiting;
            Progress.Changed();
        }
    }
    if (RunAllAccounts && !account.ScheduleMail)
        return;
    if (ProgressWindowExists)
        Progress.SetAccount(PlainCaption(account.AccountName));

    bool aborted = false;
    if (accountMode != kSendOnly)
        aborted = !Retrieve(account);
    if (AbortTransfer || Shell().Closing)
        aborted = true;
    else if (!aborted && (accountMode == kRetrieveAndSend || accountMode == kSendOnly))
        aborted = !SendOutboxes(*this, account, accountMode);
    Pop3Client->DropConnection();
    SmtpClient->DropConnection();
    if (aborted)
        stop = true;
}

// ---------------------------------------------------------------------------------------
// Retrieval

namespace {

// What a POP3 session fetches: the message numbers in order and how the numbers were chosen.
struct TRetrievalPlan {
    std::vector<int> Numbers;
    int First = 1;
    int Waiting = 0;
    bool ByUidl = false;
    std::vector<int> AlreadyStored; // stored earlier, deletion not yet carried out
};

} // namespace

bool TTransferRun::Retrieve(AccountSettings& account) {
    TShell& shell = Shell();
    TSettings& settings = shell.Settings();
    TPop3Client& pop3 = *Pop3Client;

    AccountBytesIn = 0;
    if (ProgressWindowExists) {
        Progress.Counters.AttachmentsIn = 0;
        Progress.Counters.BytesIn = 0;
        Progress.Counters.Downloaded = 0;
        Progress.Overall = {};
        Progress.Message = {};
        Progress.Changed();
    }
    PreparePop3(account);
    MailMessage->ResetMessage();

    const std::string where = Text(2, 28) + account.POP3Server + " (" + Text(1, 244) + ":" +
                              std::to_string(pop3.Port) + ")";
    Action(Text(1, 285) + where);
    Log(where);

    const bool leave = account.LeaveMailOnServer;
    const int lastRetrieved = settings.LastRetrieved(account.POP3Login);
    const int firstByNumber = leave ? lastRetrieved + 1 : 1;

    bool signedIn = OpenPop3();
    if (!signedIn) {
        Log(Text(2, 28) + account.POP3Server + " " + Text(0, 29) + "\r\n");
    } else {
        signedIn = pop3.SignIn();
        if (!signedIn)
            Log(Text(1, 285) + pop3.LastReply());
    }
    if (!signedIn) {
        PlayAttention();
        Log(Text(1, 285) + Text(0, 30));
        ++RetrieveErrors;
        pop3.CloseSession();
        pop3.DropConnection();
        return !AbortTransfer;
    }
    Action(Text(1, 285) + Text(2, 0));
    Log(Text(1, 285) + Text(2, 0));

    std::vector<std::string> blacklist = LoadBlackList(BlackListPath(shell.Dirs().AddressBooks));
    const int count = std::max(0, pop3.ServerMessageCount);

    // Which messages are new: by unique id when the server offers usable ones, else by the
    // number after the last one fetched.
    TRetrievalPlan plan;
    TUidlStore uidls;
    auto listedSizeOf = [&pop3](int n) -> std::int64_t {
        return n >= 0 && n < static_cast<int>(pop3.MessageSizes.size()) ? pop3.MessageSizes[n] : 0;
    };
    if (pop3.FetchUniqueIds() && UsableUidlListing(pop3.UniqueIds, count)) {
        plan.ByUidl = true;
        const std::vector<std::string>& ids = pop3.UniqueIds;
        uidls.Load(UidlStorePath(shell.Dirs().Program, account.AccountNumber),
                   UidlMailbox(account.POP3Login, account.POP3Server));
        if (!uidls.Existed() && leave) {
            // The first run that keeps ids takes over what the numbers say was fetched.
            for (int n = 1; n <= std::min(lastRetrieved, count); ++n)
                uidls.Add(ids[static_cast<std::size_t>(n)]);
        }
        uidls.KeepOnly(std::vector<std::string>(ids.begin() + 1, ids.begin() + 1 + count));
        // A stored id listed with another size than its message had: the server numbers its
        // messages anew (a rebuilt or restored mailbox), so no stored id can be trusted.
        bool renumbered = false;
        for (int n = 1; n <= count && !renumbered; ++n) {
            const TUidlRecord* record = uidls.Find(ids[static_cast<std::size_t>(n)]);
            renumbered = record && record->Size >= 0 && record->Size != listedSizeOf(n);
        }
        if (renumbered) {
            uidls.Clear();
            Log(Text(1, 285) + Own(TOwnText::MailboxRenumbered));
        }
        for (int n = 1; n <= count; ++n) {
            if (!uidls.Contains(ids[static_cast<std::size_t>(n)]))
                plan.Numbers.push_back(n);
            else if (!leave)
                plan.AlreadyStored.push_back(n);
        }
        if (!uidls.Save())
            Log(Text(1, 285) + Own(TOwnText::RetrievedListNotWritten));
    } else {
        for (int n = firstByNumber; n <= count; ++n)
            plan.Numbers.push_back(n);
    }

    // Messages stored by an earlier session whose deletion the server never carried out. One
    // is deleted unfetched only when its size and Message-ID (read with TOP) are those stored
    // with its id; any other message under a known id is fetched as new.
    for (int n : plan.AlreadyStored) {
        const TUidlRecord* record = uidls.Find(pop3.UniqueIds[static_cast<std::size_t>(n)]);
        const std::int64_t size = listedSizeOf(n);
        const bool same = record && record->Size == size && pop3.FetchHeaders(n, 0) &&
                          record->Matches(size, MailMessage->GetMessageId());
        if (same)
            pop3.DeleteOnServer(n);
        else
            plan.Numbers.push_back(n);
    }
    MailMessage->ResetMessage();
    std::sort(plan.Numbers.begin(), plan.Numbers.end());
    plan.Waiting = static_cast<int>(plan.Numbers.size());
    plan.First = plan.Numbers.empty() ? (plan.ByUidl ? count + 1 : std::max(firstByNumber, 1))
                                      : plan.Numbers.front();

    if (leave)
        Log(Text(1, 285) + Text(1, 347) + " " + Text(2, 4) + std::to_string(plan.First));
    Log(Text(1, 285) + Text(2, 5) + std::to_string(plan.Waiting));
    if (ProgressWindowExists) {
        Progress.Counters.Waiting = plan.Waiting;
        Progress.Overall = {0, std::max(0, plan.Waiting)};
        Progress.Changed();
    }

    bool aborted = false;
    bool storeFailed = false;
    int fetched = 0;
    int blockedHere = 0; // deleted unread: they wait no longer either
    int position = 0;
    for (int n : plan.Numbers) {
        if (AbortTransfer || shell.Closing) {
            pop3.DropConnection();
            aborted = true;
            break;
        }
        if (!pop3.Connected) {
            // The connection broke off: the rest stays on the server for the next run.
            ++RetrieveErrors;
            Log(Text(1, 285) + pop3.LastReply());
            break;
        }
        ++position;
        Pump();
        shell.Animation().Start();
        if (ProgressWindowExists) {
            Progress.Overall.Position = position;
            Progress.Changed();
        }
        pop3.OnProgress = nullptr;
        if (!pop3.FetchHeaders(n, 0)) {
            if (AbortTransfer) // an abort drops the connection on purpose
                continue;
            ++RetrieveErrors;
            Log(Text(1, 285) + pop3.LastReply());
            if (!pop3.Connected)
                break; // the rest stays on the server for the next run
            continue;
        }
        const std::int64_t listedSize =
            n < static_cast<int>(pop3.MessageSizes.size()) ? pop3.MessageSizes[n] : 0;
        if (ProgressWindowExists)
            Progress.Message = {0, listedSize};

        // The header lines of TOP are kept as the server folded them.
        const TMailAddress sender = SenderOfHeaderLines(MailMessage->HeaderLines);
        if (IsBlacklisted(sender.Address, blacklist, &shell.Ui())) {
            Log(Text(1, 285) + Text(2, 2) + sender.Address);
            pop3.DeleteOnServer(n);
            MailMessage->ResetMessage();
            ++Blocked;
            ++blockedHere;
            if (ProgressWindowExists) {
                Progress.Counters.Blocked = Blocked;
                Progress.Counters.Waiting = plan.Waiting - fetched - blockedHere;
                Progress.BlockedRed = true;
                Progress.Changed();
            }
            continue;
        }
        const std::string downloading =
            Text(1, 285) + Text(2, 30) + Text(4, 33) +
            (Trimmed(sender.Name).empty() ? ": " + sender.Address
                                          : " " + sender.Name + " (" + sender.Address + ")");
        Action(downloading);
        Log(downloading);

        pop3.OnProgress = [this](const void*, std::int64_t, std::int64_t current) {
            if (ProgressWindowExists) {
                TTransferProgressState::Advance(Progress.Message, current);
                Progress.Counters.BytesIn = AccountBytesIn + current;
                LastActionText = Progress.ActionLine;
                Progress.Changed();
            }
            Pump();
        };
        Pump();
        const bool got = pop3.FetchMessage(n);
        pop3.OnProgress = nullptr;
        if (!got) {
            if (AbortTransfer)
                continue;
            ++RetrieveErrors;
            Log(Text(1, 285) + pop3.LastReply());
            if (!pop3.Connected)
                break;
            continue;
        }
        AccountBytesIn += listedSize;
        ++fetched;
        ++Downloaded;
        Action(Text(1, 285) + Text(2, 3));
        if (ProgressWindowExists) {
            Progress.Message.Position = Progress.Message.Maximum;
            Progress.Counters.BytesIn = AccountBytesIn;
            Progress.Counters.Downloaded = fetched;
            Progress.Counters.Waiting = plan.Waiting - fetched - blockedHere;
            Progress.Changed();
        }

        // The parsed message decides the attachment count, the routing and the answers; the
        // file holds the text exactly as the server sent it, with two header lines of ours in
        // front, so every structure and encoding arrives byte for byte.
        if (MailMessage->PartMapStale)
            MailMessage->MapParts();
        if (ProgressWindowExists) {
            Progress.Counters.AttachmentsIn += static_cast<int>(MailMessage->Attachments.size());
            Progress.Changed();
        }
        const std::string addedHeaders = AddArrivalHeaders(*MailMessage, account);

        const TRoutingResult route = RouteMessage(Work, *MailMessage, account);
        const std::string saving = Text(1, 285) + Text(4, 49) + ": " + sender.Address;
        Action(saving);
        Log(saving + " -> " + route.Path);
        LogHeader(*MailMessage);

        const std::string& uidl = plan.ByUidl ? pop3.UniqueIds[static_cast<std::size_t>(n)]
                                              : std::string();
        const TUidlRecord record{listedSize, MailMessage->GetMessageId()};
        if (plan.ByUidl && !uidls.MarkPending(uidl, route.Path, record))
            Log(Text(1, 285) + Own(TOwnText::RetrievedListNotWritten));
        const TReceivedText text{addedHeaders, pop3.LastMessageText};
        const TStoredMessage stored = StoreRoutedMessage(
            *MailMessage, text, route, listedSize, [this, &route](const TIndexRow& row) {
                const bool added = AppendToFolderIndex(row);
                FiledRow(route.Project, route.Folder, row);
                return added;
            });
        if (!stored.Saved) {
            // The message stays on the server and is tried again by the next run; the number
            // of the last one retrieved stops here so that the next run starts with it.
            ++RetrieveErrors;
            storeFailed = true;
            Log(Text(1, 285) + Text(4, 49) + ": " + stored.Error);
            continue;
        }
        if (plan.ByUidl && !uidls.AddStored(uidl, record))
            Log(Text(1, 285) + Own(TOwnText::RetrievedListNotWritten));
        if (!storeFailed) {
            settings.SetLastRetrieved(account.POP3Login, n);
            settings.Save();
        }
        if (!leave)
            pop3.DeleteOnServer(n);
        AfterStoring(account, route);
    }
    if (!aborted) {
        pop3.CloseSession();
        pop3.DropConnection();
    }
    return !aborted;
}

void TTransferRun::AfterStoring(AccountSettings& account, const TRoutingResult& route) {
    TShell& shell = Shell();
    TMailMessage& message = *MailMessage;
    const int project = route.Project;
    // Every address of every account is the user's own: no automatic mail goes there.
    std::vector<std::string> ownAddresses;
    for (const AccountSettings& other : Work.AllAccountSettings()) {
        for (const std::string* address : {&other.EmailAddress, &other.ReplyTo}) {
            if (!Trimmed(*address).empty())
                ownAddresses.push_back(Trimmed(*address));
        }
    }

    if (account.HonourReceipts && !Trimmed(message.GetReceiptTarget().Address).empty()) {
        TReceiptJob job;
        job.StoreDir = shell.Dirs().Store;
        job.TempDir = shell.Dirs().Temp;
        job.Texts = &shell.Texts();
        job.Log = &shell.SessionLog();
        job.FiledFolder = route.Folder;
        job.OwnAddresses = ownAddresses;
        job.ShowAction = [this](const std::string& text) { Action(text); };
        job.AppendRow = [this, project](const TIndexRow& row) {
            const bool added = AppendToFolderIndex(row);
            FiledRow(project, 115, row);
            return added;
        };
        const TQueuedReceipt receipt = QueueReceipt(message, account, project, job, *WorkMessage);
        if (receipt.Saved)
            ReceiptsPrepared = true;
    }

    if (!IsAnswerToAnswer(message)) {
        TAnswerRequest request = AnswerRequestFor(message, account);
        request.FiledFolder = route.Folder;
        request.OwnAddresses.insert(request.OwnAddresses.end(), ownAddresses.begin(),
                                    ownAddresses.end());
        if (AnswerMessage(request, shell.Checks().AnsweringMode, shell.Dirs().AddressBooks,
                          *WorkMessage)) {
            Action(Text(1, 286) + Text(1, 12));
            Log(Text(1, 286) + Text(1, 12));
            TSmtpClient& smtp = *SmtpClient;
            PrepareSmtp(account);
            smtp.MailMessage = WorkMessage.get();
            bool ready = OpenSmtp();
            if (ready && UsesSmtpAuthentication(account, Text(3, 14)))
                ready = smtp.AuthLogin();
            if (ready && !smtp.SendMail())
                Log(Text(1, 286) + Text(2, 9) + smtp.LastReply());
            smtp.CloseSession();
            smtp.DropConnection();
            smtp.MailMessage = MailMessage.get();
        }
    }
    if (Hooks.StartLittleJobs)
        Hooks.StartLittleJobs();
}

// ---------------------------------------------------------------------------------------
// End of a run

std::string TTransferRun::Summary() const {
    if (Blocked == 0)
        return std::to_string(RetrieveErrors + SendErrors) + " " + Text(2, 7);
    return std::to_string(Blocked) + " " + Text(2, 24);
}

void TTransferRun::EndRun() {
    TShell& shell = Shell();
    TSettings& settings = shell.Settings();
    TUiServices& ui = shell.Ui();
    const bool failures = Refused > 0 || Blocked > 0 || RetrieveErrors > 0 || SendErrors > 0;

    if (ProgressWindowExists) {
        settings.SetBool(TSettingKey::ShowLogAfterClose, Progress.ShowLogAfterClose);
        if (Progress.CloseOnReady) {
            settings.SetBool(TSettingKey::CloseOnReady, true);
            ProgressWindowExists = false;
            Progress.Observer = nullptr;
            if (Hooks.FreeProgressWindow)
                Hooks.FreeProgressWindow();
        } else {
            Progress.ButtonCaption = Text(2, 10);
            if (AbortTransfer) {
                Progress.ActionLine = Text(1, 107);
                Progress.ActionRed = true;
            } else if (failures) {
                Progress.ActionLine = Summary();
                Progress.ActionRed = true;
            } else {
                Progress.ActionLine = Text(2, 8);
                Progress.ActionRed = false;
            }
            Progress.Finished = true;
            Progress.Changed();
            settings.SetBool(TSettingKey::CloseOnReady, false);
        }
        settings.Save();
    }

    shell.TransferRunning = false;
    AbortTransfer = false;
    if (Hooks.StartLittleJobs)
        Hooks.StartLittleJobs();
    if (Hooks.ShowTransferEnabled)
        Hooks.ShowTransferEnabled(ProgressWindowExists);

    if (Downloaded > 0 || failures) {
        shell.PlaySound(TSound::NewMail);
        ui.SetStatusColour(TStatusBar::Folder, TStatusColour::Green);
        ui.SetStatusText(TStatusBar::Folder, Text(1, 60));
        shell.StartYouHaveMail();
        if (shell.Checks().DoShowYouHaveMail || failures) {
            TPopupRequest request;
            request.Caption = Text(1, 87);
            request.DisplayMs = 0;
            request.Modeless = false;
            if (failures) {
                request.Text = "\r\n" + Text(1, 60) + "\r\n" + Text(2, 12) + " " +
                               std::to_string(Downloaded) + "\r\n\r\n" + Summary();
                request.TextSize = 13;
            } else {
                request.Text = "\r\n\r\n" + Text(1, 60) + "\r\n" + Text(2, 12) + " " +
                               std::to_string(Downloaded);
                request.TextSize = 15;
            }
            ui.ShowPopup(request);
        } else {
            ui.SetStatusText(TStatusBar::Folder,
                             Text(1, 60) + ", " + Text(2, 12) + " " + std::to_string(Downloaded));
        }
    } else {
        ui.SetStatusText(TStatusBar::Folder, "");
        ui.SetStatusColour(TStatusBar::Folder, TStatusColour::Normal);
    }

    Pop3Client->DropConnection();
    SmtpClient->DropConnection();
    Pop3Client.reset();
    SmtpClient.reset();
    MailMessage.reset();
    WorkMessage.reset();
    shell.Animation().Stop();

    if (shell.Checks().AutoDisconnect) {
        PlayAttention();
        Pump();
        Dialup.Dail = UNATTENDED;
        Dialup.SetActive(false);
        if (Hooks.HangUp)
            Hooks.HangUp();
    }

    if (ReceiptsPrepared && !settings.GetBool(TSettingKey::HideReceiptsInOutbox)) {
        PlayAttention();
        bool dontAsk = false;
        ui.AskDialog(Text(1, 261), Text(1, 46), 11, dontAsk, true);
        settings.SetBool(TSettingKey::HideReceiptsInOutbox, dontAsk);
        settings.Save();
    }

    AppendSessionLog(MailLogPath(shell.Dirs().Program), shell.SessionLog());
    // Only now, with every pop-up and question of the run closed, may the next tick come.
    if (Hooks.SetCollectTimer)
        Hooks.SetCollectTimer(shell.Checks().ActivePickup);
}

// ---------------------------------------------------------------------------------------
// The progress window

void TTransferRun::AbortClick() {
    if (Pop3Client)
        Pop3Client->DropConnection();
    if (SmtpClient)
        SmtpClient->DropConnection();
    AbortTransfer = true;
    TShell& shell = Shell();
    shell.Animation().Stop();
    shell.Ui().ShowAnimationFrame(shell.Animation().FramePath(0));
    DetachProgressWindow();
}

void TTransferRun::AttachProgressWindow(TTransferProgressObserver* observer) {
    if (!Shell().TransferRunning)
        return;
    TSettings& settings = Shell().Settings();
    ProgressWindowExists = true;
    Progress.Observer = observer;
    Progress.Reset(Text(2, 22), settings.GetBool(TSettingKey::CloseOnReady),
                   settings.GetBool(TSettingKey::ShowLogAfterClose));
    Progress.ActionLine = LastActionText;
    Progress.Changed();
}

bool TTransferRun::ProgressButtonClick(const TTransferProgressObserver* window) {
    if (!Progress.Finished && Progress.Observer == window && window)
        AbortClick(); // drops the connections and lets the window go
    return true;
}

bool TTransferRun::ProgressWindowClosing(const TTransferProgressObserver* window) {
    if (!window || Progress.Observer != window)
        return false;
    TSettings& settings = Shell().Settings();
    settings.SetBool(TSettingKey::CloseOnReady, Progress.CloseOnReady);
    settings.SetBool(TSettingKey::ShowLogAfterClose, Progress.ShowLogAfterClose);
    settings.Save();
    const bool showLog = Progress.Finished && Progress.ShowLogAfterClose;
    DetachProgressWindow();
    return showLog;
}

void TTransferRun::DetachProgressWindow() {
    ProgressWindowExists = false;
    Progress.Observer = nullptr;
    if (Hooks.ShowTransferEnabled)
        Hooks.ShowTransferEnabled(Shell().TransferRunning);
}

// ---------------------------------------------------------------------------------------
// Commands

namespace {

void CommandPopup(TShell& shell, int captionModule, int captionSlot, const std::string& text,
                  int displayMs) {
    TPopupRequest request;
    request.Caption = shell.Text(captionModule, captionSlot);
    request.Text = text;
    request.DisplayMs = displayMs;
    request.TextSize = 12;
    request.Modeless = true;
    shell.Ui().ShowPopup(request);
}

// The account of the selected account-tree node must show an address in its caption.
bool AddressCheck(TWorkspace& workspace, TNode* account, int displayMs) {
    const std::string& caption = account->Text();
    if (caption.find('@') != std::string::npos && caption.find('.') != std::string::npos)
        return true;
    TShell& shell = workspace.Shell();
    shell.PlaySound(TSound::Attention);
    CommandPopup(shell, 1, 262, shell.Text(0, 24), displayMs);
    if (TNode* profile = FindChild(account, kNodeProfile)) {
        if (TNode* address = FindBelow(profile, kNodeEmailAddress))
            workspace.AccountTree.Select(address);
    }
    return false;
}

} // namespace

bool StartTransferCommand(TTransferRun& run, TTransferCommand command) {
    TWorkspace& workspace = run.Workspace();
    TShell& shell = workspace.Shell();
    int mode = kRetrieveAndSend;
    switch (command) {
    case TTransferCommand::SendReceiveAll:
        run.RunTransfer(-1, kRetrieveAndSend, false, true);
        return true;
    case TTransferCommand::SendAll:
        run.RunTransfer(-1, kSendOnly, false, true);
        return true;
    case TTransferCommand::CollectMailTimer:
        run.RunTransfer(-1, kRetrieveAndSend, true, true);
        return true;
    case TTransferCommand::RetrieveAll: {
        // Without a selected account there is no address to check: no run.
        TNode* selected = workspace.AccountTree.Selected();
        if (!selected || !AddressCheck(workspace, AccountOf(selected), 6000))
            return false;
        run.RunTransfer(-1, kRetrieveOnly, false, true);
        return true;
    }
    case TTransferCommand::SendRetrieveSelected:
        mode = kRetrieveAndSend;
        break;
    case TTransferCommand::RetrieveSelected:
        mode = kRetrieveOnly;
        break;
    case TTransferCommand::SendSelected:
        mode = kSendOnly;
        break;
    }
    TNode* selected = workspace.AccountTree.Selected();
    if (!selected) {
        selected = workspace.CurrentAccountNode();
        if (selected)
            workspace.AccountTree.Select(selected);
    }
    if (!selected) {
        shell.PlaySound(TSound::Popped);
        CommandPopup(shell, 1, 261, shell.Text(1, 109), 5000);
        return false;
    }
    TNode* account = AccountOf(selected);
    if (!account || !AddressCheck(workspace, account, 5000))
        return false;
    run.RunTransfer(NodeNumber(account->Text()), mode, false, false);
    return true;
}

} // namespace pelmora
