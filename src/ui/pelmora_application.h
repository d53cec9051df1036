#pragma once
// TPelmoraApplication: the QApplication that keeps an exception thrown by an event handler
// from ending the program. The error is not reported; the recovery handler (the main window's
// RecoverFromError) makes the window usable again.

#include <QApplication>

#include <functional>

namespace pelmora {

class TPelmoraApplication : public QApplication {
    Q_OBJECT
public:
    TPelmoraApplication(int& argc, char** argv);

    void SetRecoveryHandler(std::function<void()> handler) { Recovery = std::move(handler); }
    // Number of errors caught so far.
    int RecoveredErrors() const { return Recovered; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void Recover();

    std::function<void()> Recovery;
    int Recovered = 0;
};

} // namespace pelmora
