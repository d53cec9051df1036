#include "ui/pelmora_application.h"

#include <exception>

namespace pelmora {

TPelmoraApplication::TPelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Pelmora by Sorvath"));
    setApplicationVersion(QStringLiteral("3.0.5"));
    setOrganizationName(QStringLiteral("Sorvath"));
    setDesktopFileName(QStringLiteral("pelmora"));
}

bool TPelmoraApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception&) {
        Recover();
    } catch (...) {
        Recover();
    }
    return false;
}

void TPelmoraApplication::Recover() {
    ++Recovered;
    if (!Recovery)
        return;
    try {
        Recovery();
    } catch (...) {
        // Recovery must never bring the program down itself.
    }
}

} // namespace pelmora
