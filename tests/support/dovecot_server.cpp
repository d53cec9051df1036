#include "support/dovecot_server.h"

#include <algorithm>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace pelmora::testing {

namespace fs = std::filesystem;

namespace {

void ChownTree(const fs::path& root, unsigned uid, unsigned gid) {
    if (getuid() != 0) {
        return;
    }
    if (chown(root.c_str(), uid, gid) != 0) {
        return;
    }
    std::error_code error;
    for (auto& entry : fs::recursive_directory_iterator(root, error)) {
        if (chown(entry.path().c_str(), uid, gid) != 0) {
            return;
        }
    }
}

} // namespace

TDovecotServer::TDovecotServer() = default;

TDovecotServer::~TDovecotServer() {
    Stop();
}

std::string TDovecotServer::MaildirOf(const std::string& user) const {
    return Temp.Path() + "home/" + user + "/Maildir/";
}

bool TDovecotServer::Start(const TDovecotOptions& options) {
    // A port picked as free can be taken by someone else before the server binds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (StartOnce(options)) {
            return true;
        }
    }
    return false;
}

bool TDovecotServer::StartOnce(const TDovecotOptions& options) {
    const std::string& dir = Temp.Path();
    if (dir.empty()) {
        return false;
    }
    std::string internalUser = "dovecot";
    std::string loginUser = "dovenull";
    MailUid = getuid();
    MailGid = getgid();
    if (getuid() == 0) {
        // As root the server needs unprivileged users of its own; mail belongs to "dovecot".
        if (passwd* entry = getpwnam("dovecot")) {
            MailUid = entry->pw_uid;
            MailGid = entry->pw_gid;
        }
    } else if (passwd* entry = getpwuid(getuid())) {
        internalUser = entry->pw_name;
        loginUser = entry->pw_name;
    }
    fs::create_directories(dir + "run");
    fs::create_directories(dir + "state");
    std::string users;
    for (const auto& [name, password] : options.Users) {
        std::string home = dir + "home/" + name;
        for (const char* sub : {"cur", "new", "tmp"}) {
            fs::create_directories(home + "/Maildir/" + sub);
        }
        ChownTree(home, MailUid, MailGid);
        users += name + ":{PLAIN}" + password + ":" + std::to_string(MailUid) + ":" +
                 std::to_string(MailGid) + "::" + home + "::\n";
    }
    if (!WriteTextFile(dir + "users", users)) {
        return false;
    }
    PlainPort = PickFreePort();
    TlsPort = PickFreePort();
    while (TlsPort == PlainPort) {
        TlsPort = PickFreePort();
    }
    unsigned firstUid = std::min<unsigned>(MailUid, 500);
    unsigned firstGid = std::min<unsigned>(MailGid, 500);
    std::string conf;
    conf += "protocols = pop3\n";
    conf += "listen = 127.0.0.1\n";
    conf += "base_dir = " + dir + "run/\n";
    conf += "state_dir = " + dir + "state/\n";
    conf += "log_path = " + dir + "dovecot.log\n";
    conf += "info_log_path = " + dir + "dovecot.log\n";
    conf += "ssl = yes\n";
    conf += "ssl_cert = <" + options.CertPath + "\n";
    conf += "ssl_key = <" + options.KeyPath + "\n";
    conf += "ssl_min_protocol = TLSv1.2\n";
    conf += "disable_plaintext_auth = no\n";
    conf += "auth_mechanisms = plain login\n";
    conf += "auth_failure_delay = 0\n";
    // No growing sign-in delay after the tests that use a wrong password.
    conf += "login_trusted_networks = 127.0.0.0/8\n";
    conf += "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + dir +
            "users\n}\n";
    conf += "userdb {\n  driver = passwd-file\n  args = username_format=%u " + dir + "users\n}\n";
    conf += "mail_location = maildir:~/Maildir\n";
    conf += "first_valid_uid = " + std::to_string(firstUid) + "\n";
    conf += "first_valid_gid = " + std::to_string(firstGid) + "\n";
    conf += "default_internal_user = " + internalUser + "\n";
    conf += "default_login_user = " + loginUser + "\n";
    conf += "pop3_uidl_format = " + options.UidlFormat + "\n";
    conf += "mail_max_userip_connections = 50\n";
    conf += "service pop3-login {\n"
            "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " +
            std::to_string(PlainPort) +
            "\n  }\n"
            "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " +
            std::to_string(TlsPort) + "\n    ssl = yes\n  }\n}\n";
    if (!WriteTextFile(dir + "dovecot.conf", conf)) {
        return false;
    }
    if (!Process.Start({"dovecot", "-F", "-c", dir + "dovecot.conf"}, dir + "console.log")) {
        return false;
    }
    bool up = WaitForServer(Process, PlainPort, 10000) && WaitForServer(Process, TlsPort, 5000);
    if (!up) {
        Stop();
    }
    return up;
}

void TDovecotServer::Stop() {
    Process.Stop();
}

bool TDovecotServer::AddMessage(const std::string& user, const std::string& text) {
    std::string maildir = MaildirOf(user);
    ++Delivered;
    char name[64];
    std::snprintf(name, sizeof name, "%010d.P%dQ%d.pelmora-test", 1700000000 + Delivered,
                  static_cast<int>(getpid()), Delivered);
    std::string temporary = maildir + "tmp/" + name;
    if (!WriteTextFile(temporary, text)) {
        return false;
    }
    if (getuid() == 0 && chown(temporary.c_str(), MailUid, MailGid) != 0) {
        return false;
    }
    std::error_code error;
    fs::rename(temporary, maildir + "new/" + name, error);
    return !error;
}

bool TDovecotServer::RebuildMailbox(const std::string& user) {
    std::error_code error;
    std::vector<fs::path> state;
    for (auto& entry : fs::directory_iterator(MaildirOf(user), error)) {
        if (entry.path().filename().string().rfind("dovecot", 0) == 0) {
            state.push_back(entry.path());
        }
    }
    for (const fs::path& path : state) {
        fs::remove_all(path, error);
        if (error) {
            return false;
        }
    }
    return !state.empty();
}

std::vector<std::string> TDovecotServer::Messages(const std::string& user) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const char* sub : {"new", "cur"}) {
        for (auto& entry : fs::directory_iterator(MaildirOf(user) + sub, error)) {
            names.push_back(entry.path().string());
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return fs::path(a).filename() < fs::path(b).filename();
    });
    std::vector<std::string> texts;
    for (const std::string& name : names) {
        texts.push_back(ReadTextFile(name));
    }
    return texts;
}

int TDovecotServer::MessageCount(const std::string& user) const {
    int count = 0;
    std::error_code error;
    for (const char* sub : {"new", "cur"}) {
        for (auto& entry : fs::directory_iterator(MaildirOf(user) + sub, error)) {
            count += entry.is_regular_file() ? 1 : 0;
        }
    }
    return count;
}

std::string TDovecotServer::Log() const {
    return ReadTextFile(Temp.Path() + "dovecot.log") + ReadTextFile(Temp.Path() + "console.log");
}

} // namespace pelmora::testing
