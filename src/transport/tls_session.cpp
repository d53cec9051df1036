#include "transport/tls_session.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <csignal>
#include <ctime>

namespace pelmora {

namespace {

bool IsAddressText(const std::string& text) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

// The TLS library writes to the socket without MSG_NOSIGNAL: a peer that has gone away would
// kill the program with SIGPIPE. The signal is blocked around every library call and a
// SIGPIPE raised meanwhile is taken off the thread before the old mask returns.
class TNoSigpipe {
public:
    TNoSigpipe() {
        sigemptyset(&Pipe);
        sigaddset(&Pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        WasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &Pipe, &Old);
    }
    ~TNoSigpipe() {
        if (!WasPending) {
            sigset_t pending;
            sigemptyset(&pending);
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                timespec zero{0, 0};
                sigtimedwait(&Pipe, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &Old, nullptr);
    }
    TNoSigpipe(const TNoSigpipe&) = delete;
    TNoSigpipe& operator=(const TNoSigpipe&) = delete;

private:
    sigset_t Pipe;
    sigset_t Old;
    bool WasPending = false;
};

std::string LastLibraryError() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "TLS failure";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

std::string ReasonFor(long result) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "the server certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "the server certificate is not valid yet";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return "the server certificate is self-signed";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return "the server certificate is issued by an untrusted self-signed authority";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        return "the issuer of the server certificate is not trusted";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "the server certificate was issued for another host";
    default:
        return std::string("the server certificate was refused: ") +
               X509_verify_cert_error_string(result);
    }
}

} // namespace

std::string FormatFingerprint(const unsigned char* digest, std::size_t size) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

TTlsSession::TTlsSession() = default;

TTlsSession::~TTlsSession() {
    if (Ssl != nullptr) {
        SSL_free(Ssl);
    }
    if (Context != nullptr) {
        SSL_CTX_free(Context);
    }
}

bool TTlsSession::Begin(int fd, const std::string& serverName, const std::string& caFile) {
    ServerName = serverName;
    Context = SSL_CTX_new(TLS_client_method());
    if (Context == nullptr) {
        ErrorText = LastLibraryError();
        return false;
    }
    SSL_CTX_set_min_proto_version(Context, TLS1_2_VERSION);
    // Verification is judged after the handshake (see Verification), never by aborting it.
    SSL_CTX_set_verify(Context, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_default_verify_paths(Context);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(Context, caFile.c_str(), nullptr) != 1) {
        ErrorText = "cannot read the certificate authority file " + caFile;
        ERR_clear_error();
        return false;
    }
    Ssl = SSL_new(Context);
    if (Ssl == nullptr || SSL_set_fd(Ssl, fd) != 1) {
        ErrorText = LastLibraryError();
        return false;
    }
    SSL_set_mode(Ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    X509_VERIFY_PARAM* param = SSL_get0_param(Ssl);
    if (IsAddressText(serverName)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str());
    } else {
        SSL_set_tlsext_host_name(Ssl, serverName.c_str());
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, serverName.c_str(), serverName.size());
    }
    SSL_set_connect_state(Ssl);
    return true;
}

TTlsIo TTlsSession::Classify(int result) {
    int error = SSL_get_error(Ssl, result);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        return TTlsIo::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return TTlsIo::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        return TTlsIo::Closed;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0) {
            ErrorText = "the connection was closed during TLS";
            return TTlsIo::Closed;
        }
        ErrorText = LastLibraryError();
        return TTlsIo::Failed;
    default:
        ErrorText = LastLibraryError();
        return TTlsIo::Failed;
    }
}

TTlsIo TTlsSession::Handshake() {
    TNoSigpipe guard;
    int result = SSL_do_handshake(Ssl);
    if (result == 1) {
        return TTlsIo::Done;
    }
    TTlsIo io = Classify(result);
    if (io == TTlsIo::Closed) {
        // A peer that hangs up in the handshake has failed it.
        if (ErrorText.empty()) {
            ErrorText = "the connection was closed during TLS";
        }
        return TTlsIo::Failed;
    }
    return io;
}

TTlsIo TTlsSession::Read(char* buffer, std::size_t size, std::size_t& count) {
    count = 0;
    TNoSigpipe guard;
    int result = SSL_read_ex(Ssl, buffer, size, &count);
    if (result == 1) {
        return TTlsIo::Done;
    }
    return Classify(result);
}

TTlsIo TTlsSession::Write(const char* buffer, std::size_t size, std::size_t& count) {
    count = 0;
    TNoSigpipe guard;
    int result = SSL_write_ex(Ssl, buffer, size, &count);
    if (result == 1) {
        return TTlsIo::Done;
    }
    return Classify(result);
}

bool TTlsSession::HasPending() const {
    return Ssl != nullptr && SSL_pending(Ssl) > 0;
}

void TTlsSession::Shutdown() {
    if (Ssl != nullptr) {
        TNoSigpipe guard;
        SSL_shutdown(Ssl);
        ERR_clear_error();
    }
}

TCertificateCheck TTlsSession::Verification() const {
    TCertificateCheck check;
    if (Ssl == nullptr) {
        check.Reason = "no TLS session";
        return check;
    }
    X509* certificate = SSL_get1_peer_certificate(Ssl);
    if (certificate == nullptr) {
        check.Reason = "the server sent no certificate";
        return check;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
        check.Fingerprint = FormatFingerprint(digest, length);
    }
    X509_free(certificate);
    long result = SSL_get_verify_result(Ssl);
    check.Trusted = result == X509_V_OK;
    if (!check.Trusted) {
        check.Reason = ReasonFor(result);
    }
    return check;
}

} // namespace pelmora
