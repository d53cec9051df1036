#include "transport/dialup_connection.h"

namespace pelmora {

void DialupConnection::SetActive(bool active) {
    if (active == IsActive) {
        return;
    }
    IsActive = active;
    if (active) {
        // Without dial-up networking the connection is up already: the dial succeeds.
        ++Dials;
        Handle = static_cast<unsigned long>(Dials);
        Error = 0;
    } else {
        ++HangUps;
        Handle = 0;
        Error = 0;
    }
}

} // namespace pelmora
