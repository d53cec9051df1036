#include "transport/connection_security.h"

#include "transport/socket_talk.h"
#include "transport/trusted_certificates.h"

namespace pelmora {

bool SecureConnection(TSocketTalk& talk, const std::string& host, int port,
                      const TTlsOptions& options, TCertificateState& state,
                      std::string& failureText) {
    state = {};
    state.Server = TTrustedCertificates::ServerKey(host, port);
    if (!talk.StartTls(host, options.CaFile)) {
        failureText = talk.ErrorText();
        return false;
    }
    state.Check = talk.Certificate();
    if (state.Check.Trusted) {
        return true;
    }
    if (options.Trusted != nullptr &&
        options.Trusted->IsTrusted(state.Server, state.Check.Fingerprint)) {
        return true;
    }
    state.Refused = true;
    failureText = "TLS: " + state.Check.Reason + " (" + state.Server + ", SHA-256 fingerprint " +
                  state.Check.Fingerprint + ")";
    talk.Close();
    return false;
}

} // namespace pelmora
