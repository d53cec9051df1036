// The transfer lock of a data home: one holder at a time, free again once released.

#include "ui/text_convert.h"
#include "ui/transfer_lock.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pelmora;

class TTransferLockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void OneHolderAtATime();
};

void TTransferLockTest::OneHolderAtATime() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const std::string dir = FromQt(home.path()) + "/";
    auto first = TryTransferLock(dir);
    QVERIFY(first);
    QVERIFY(QFile::exists(TransferLockPath(dir)));
    QVERIFY(!TryTransferLock(dir));
    first.reset();
    QVERIFY(!QFile::exists(TransferLockPath(dir)));
    QVERIFY(TryTransferLock(dir));
}

QTEST_GUILESS_MAIN(TTransferLockTest)
#include "transfer_lock_test.moc"
