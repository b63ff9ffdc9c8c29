// The program's long-lived threads carry names, as debuggers, profilers and /proc show them:
// each object starts a thread of the expected name, and a dotted queue label gives the queue's
// thread the label's last parts that fit the kernel's 15 bytes.

#include "Platform/ThreadName.h"
#include "Zubra/Shell/TerminationSignals.h"
#include "ZubraCore/Support/Logging.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <memory>

namespace {

// The names of this process's threads, one entry per thread.
QStringList threadNames()
{
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names.append(QString::fromUtf8(comm.readAll().trimmed()));
    }
    return names;
}

enum class Owner { signalWatcher, saveQueue, logWriter };

} // namespace

Q_DECLARE_METATYPE(Owner)

class TestThreadNames : public QObject
{
    Q_OBJECT

private slots:
    void eachThreadIsNamed_data()
    {
        QTest::addColumn<Owner>("owner");
        QTest::addColumn<QString>("name");
        // The log file first: the others may log, which starts its writer.
        QTest::newRow("log file") << Owner::logWriter << "Log writer";
        QTest::newRow("termination signals") << Owner::signalWatcher << "Signal watcher";
        QTest::newRow("library saves") << Owner::saveQueue << "store.save";
    }

    void eachThreadIsNamed()
    {
        QFETCH(Owner, owner);
        QFETCH(QString, name);
        QVERIFY(!threadNames().contains(name));
        std::unique_ptr<TerminationSignals> signals_;
        StoreHarness store;
        switch (owner) {
        case Owner::signalWatcher:
            signals_ = std::make_unique<TerminationSignals>();
            QVERIFY(signals_->isInstalled());
            break;
        case Owner::saveQueue:
            store.open();
            break;
        case Owner::logWriter:
            FileLogger::log(QStringLiteral("a line for no file")); // the logger is never started here
            FileLogger::flush();
            break;
        }
        QTRY_VERIFY2(threadNames().contains(name), qPrintable(threadNames().join(u", ")));
    }

    void nameFromLabel_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("last parts that fit") << "com.tessellon.store.save" << QByteArray("store.save");
        QTest::newRow("whole label") << "test.sync" << QByteArray("test.sync");
        QTest::newRow("exactly fifteen") << "abcdefg.hijklmn" << QByteArray("abcdefg.hijklmn");
        QTest::newRow("one long part") << "com.averyveryverylongpart" << QByteArray("averyveryverylo");
        QTest::newRow("no dots") << "worker" << QByteArray("worker");
    }

    void nameFromLabel()
    {
        QFETCH(QString, label);
        QFETCH(QByteArray, name);
        QCOMPARE(ThreadName::fromLabel(label), name);
    }
};

TESSELLON_GUI_TEST_MAIN(TestThreadNames)
#include "tst_ThreadNames.moc"
