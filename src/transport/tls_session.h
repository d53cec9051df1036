#pragma once
// One TLS client session over a connected non-blocking socket (RFC 8446, RFC 5246), with the
// server certificate checked against the system store (plus an optional extra CA file) and
// the server name. Verification never aborts the handshake itself: the caller reads
// Verification() and decides, so that a failure can be reported with the certificate's
// fingerprint and accepted later by the user. The session does not own the socket.

#include <cstddef>
#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace pelmora {

// What the certificate check found.
struct TCertificateCheck {
    bool Trusted = false;    // chain and host name are valid
    std::string Reason;      // readable reason when not trusted
    std::string Fingerprint; // SHA-256 of the server certificate, "AB:CD:..."; empty if none
};

// Result of one non-blocking TLS step.
enum class TTlsIo { Done, WantRead, WantWrite, Closed, Failed };

class TTlsSession {
public:
    TTlsSession();
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    // Prepares a client session on fd for the given server name (a host name or an address).
    // caFile, when not empty, is trusted beside the system store. False with Error() set when
    // the library cannot set up the session.
    bool Begin(int fd, const std::string& serverName, const std::string& caFile);

    // One handshake step.
    TTlsIo Handshake();
    // Reads up to size bytes; Done with count > 0, or WantRead/WantWrite/Closed/Failed.
    TTlsIo Read(char* buffer, std::size_t size, std::size_t& count);
    // Writes up to size bytes; Done with count > 0 written, or would-block/failure.
    TTlsIo Write(const char* buffer, std::size_t size, std::size_t& count);
    // Bytes already decrypted and waiting in the session.
    bool HasPending() const;
    // Sends the closing alert without waiting for the answer.
    void Shutdown();

    TCertificateCheck Verification() const;
    const std::string& Error() const { return ErrorText; }

private:
    TTlsIo Classify(int result);

    SSL_CTX* Context = nullptr;
    SSL* Ssl = nullptr;
    std::string ServerName;
    std::string ErrorText;
};

// "AB:CD:..." text of a SHA-256 digest.
std::string FormatFingerprint(const unsigned char* digest, std::size_t size);

} // namespace pelmora
