#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelmora::testing {

TScriptedServer::TScriptedServer(std::vector<TScriptStep> script, bool ipv6)
    : Script(std::move(script)) {
    ListenFd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(ListenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_loopback;
        length = sizeof *in6;
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&address);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof *in;
    }
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (bind(ListenFd, generic, length) == 0 && listen(ListenFd, 4) == 0 &&
        getsockname(ListenFd, generic, &length) == 0) {
        ListenPort = ipv6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port)
                          : ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    Worker = std::thread([this] { Run(); });
}

TScriptedServer::~TScriptedServer() {
    Stopping = true;
    Join();
    if (ListenFd >= 0) {
        close(ListenFd);
    }
}

void TScriptedServer::Join() {
    if (Worker.joinable()) {
        Worker.join();
    }
}

std::vector<std::string> TScriptedServer::Received() const {
    std::lock_guard<std::mutex> guard(Lock);
    return Lines;
}

bool TScriptedServer::ReadUntil(int fd, std::string_view end, std::string& text) {
    for (;;) {
        std::size_t found = Pending.find(end);
        if (found != std::string::npos) {
            text = Pending.substr(0, found);
            Pending.erase(0, found + end.size());
            return true;
        }
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0) {
            if (Stopping) {
                return false;
            }
            continue;
        }
        char buffer[65536];
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        Pending.append(buffer, static_cast<std::size_t>(got));
    }
}

void TScriptedServer::Run() {
    int fd = -1;
    while (!Stopping && fd < 0) {
        pollfd entry{ListenFd, POLLIN, 0};
        if (poll(&entry, 1, 50) > 0) {
            fd = accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        }
    }
    if (fd < 0) {
        return;
    }
    for (const TScriptStep& step : Script) {
        if (Stopping) {
            break;
        }
        bool goOn = true;
        switch (step.Kind) {
        case TScriptStep::Say:
            goOn = send(fd, step.Text.data(), step.Text.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(step.Text.size());
            break;
        case TScriptStep::ReadLine:
        case TScriptStep::ReadData: {
            std::string text;
            goOn = ReadUntil(fd, step.Kind == TScriptStep::ReadLine ? "\r\n" : "\r\n.\r\n", text);
            if (goOn) {
                std::lock_guard<std::mutex> guard(Lock);
                Lines.push_back(text);
            }
            break;
        }
        case TScriptStep::Close:
            goOn = false;
            break;
        case TScriptStep::Flood:
            while (!Stopping) {
                pollfd entry{fd, POLLOUT, 0};
                if (poll(&entry, 1, 50) <= 0) {
                    continue;
                }
                if (send(fd, step.Text.data(), step.Text.size(), MSG_NOSIGNAL) < 0) {
                    break;
                }
            }
            goOn = false;
            break;
        case TScriptStep::Hold:
            while (!Stopping) {
                pollfd entry{fd, POLLIN, 0};
                if (poll(&entry, 1, 50) > 0) {
                    char buffer[4096];
                    if (recv(fd, buffer, sizeof buffer, 0) <= 0) {
                        break;
                    }
                }
            }
            goOn = false;
            break;
        case TScriptStep::Trickle:
            for (std::size_t i = 0; !Stopping && !step.Text.empty();
                 i = (i + 1) % step.Text.size()) {
                if (send(fd, &step.Text[i], 1, MSG_NOSIGNAL) != 1) {
                    break;
                }
                for (int waited = 0; waited < step.Ms && !Stopping; waited += 10) {
                    usleep(10000);
                }
            }
            goOn = false;
            break;
        case TScriptStep::Pause:
            for (int waited = 0; waited < step.Ms && !Stopping; waited += 10) {
                usleep(10000);
            }
            break;
        }
        if (!goOn) {
            break;
        }
    }
    close(fd);
}

} // namespace pelmora::testing
