// Closing the main window with mail in an outbox: the question, its "Don't ask this again"
// box kept in the settings, and no question once it is ticked.

#include "shell/atomic_file.h"
#include "shell/settings.h"
#include "shell/shell_state.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "ui/main_form.h"
#include "ui/message_dlg.h"
#include "ui/qt_ui_services.h"
#include "ui/text_convert.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace pelmora;

namespace {

struct TWindow {
    TQtUiServices Ui;
    std::unique_ptr<TShell> Shell;
    std::unique_ptr<TWorkspace> Work;
    std::unique_ptr<TMainForm> Form;

    bool Create(const QString& home) {
        TShellOptions options;
        options.ProgramDir = FromQt(home) + "/";
        options.ChangeWorkingDirectory = false;
        Shell = std::make_unique<TShell>(options, Ui);
        Work = std::make_unique<TWorkspace>(*Shell);
        Form = std::make_unique<TMainForm>(*Shell, *Work, Ui);
        return Form->FormCreate().Ok;
    }
};

} // namespace

class TUnsentMailCloseTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void AsksOnceAndKeepsTheAnswer();
};

void TUnsentMailCloseTest::AsksOnceAndKeepsTheAnswer() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    {
        TWindow window;
        QVERIFY(window.Create(home.path()));
        const std::string outbox = FolderPath(window.Shell->Dirs().Store, 100000, kFolderOutbox);
        QVERIFY(QDir().mkpath(ToQt(outbox)));
        QVERIFY(WriteFileAtomically(outbox + "1.eml", "Subject: waiting\r\n\r\nbody\r\n"));

        bool asked = false;
        QTimer::singleShot(0, [&asked] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
            auto* dialog = qobject_cast<TPelmoraMessageDLG*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            asked = true;
            dialog->CheckBox()->setChecked(true);
            dialog->SecondButton()->click(); // No: nothing is sent
        });
        QVERIFY(window.Form->close());
        QVERIFY(asked);
        QVERIFY(window.Shell->Settings().GetBool(TSettingKey::HideStillMailWaiting));
        QVERIFY(QFileInfo::exists(ToQt(outbox + "1.eml")));
    }
    {
        // The next close asks nothing: a dialog would be refused here.
        TWindow window;
        QVERIFY(window.Create(home.path()));
        QVERIFY(window.Shell->Settings().GetBool(TSettingKey::HideStillMailWaiting));
        bool asked = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&asked] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                asked = true;
                modal->close();
            }
        });
        watch.start(50);
        QVERIFY(window.Form->close());
        QVERIFY(!asked);
    }
}

QTEST_MAIN(TUnsentMailCloseTest)
#include "unsent_mail_close_test.moc"
