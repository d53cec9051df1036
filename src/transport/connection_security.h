#pragma once
// How a client protects its connection, and the one place where a TLS handshake is judged:
// a certificate that fails the check is accepted only when the user trusted its fingerprint
// for that server before. A refusal explains itself (reason and SHA-256 fingerprint) so the
// caller can show it and offer to trust the certificate.

#include "transport/tls_session.h"

#include <string>

namespace pelmora {

class TSocketTalk;
class TTrustedCertificates;

// None: plain text. StartTls: upgraded after the greeting (POP3 STLS, SMTP STARTTLS).
// SslTls: TLS from the first byte (POP3S, SMTPS).
enum class TSecurity { None = 0, StartTls = 1, SslTls = 2 };

struct TTlsOptions {
    std::string CaFile;                            // trusted beside the system store
    const TTrustedCertificates* Trusted = nullptr; // Not owned. Accepted fingerprints.
};

// What a client remembers of its last handshake.
struct TCertificateState {
    bool Refused = false;    // the handshake worked but the certificate was not accepted
    std::string Server;      // "host:port" key for TTrustedCertificates
    TCertificateCheck Check; // reason and fingerprint
};

// Runs the handshake on talk's open connection and judges the certificate. On failure the
// connection is closed, failureText holds a readable reason and state says whether the
// certificate was the cause.
bool SecureConnection(TSocketTalk& talk, const std::string& host, int port,
                      const TTlsOptions& options, TCertificateState& state,
                      std::string& failureText);

} // namespace pelmora
