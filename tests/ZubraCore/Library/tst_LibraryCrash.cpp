// A library saved in a loop by a child process that is killed at random moments: every kill
// must leave files that load, with every save that had returned still there.

#include "support/LibraryFixtures.h"

#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

namespace {

constexpr int textSize = 1500;
constexpr int startCount = 300;

QString primaryIn(const QString& folder)
{
    return folder + QStringLiteral("/Tessellon.json");
}

// The library after `count` saves of the loop: selections 0 to count - 1.
StoreSnapshot expectedLibrary(int count)
{
    StoreSnapshot snapshot;
    snapshot.drafts.emplace();
    for (int n = 0; n < count; ++n)
        snapshot.selections.append(LibraryFixtures::selection(n, textSize));
    return snapshot;
}

// The child: load, then add one selection and save, forever, reporting each returned save.
int saveLoop(const QString& folder)
{
    const QString primary = primaryIn(folder);
    StorePersistence persistence(primary, StoreLocations::backupURL(primary));
    const StoreLoadResult loaded = persistence.load();
    if (loaded.status != StorePersistenceStatus::ready && loaded.status != StorePersistenceStatus::recoveredFromBackup)
        return 3;
    StoreSnapshot snapshot = loaded.snapshot.value_or(StoreSnapshot {});
    snapshot.drafts.emplace();
    if (snapshot.selections.isEmpty())
        snapshot = expectedLibrary(startCount);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;) {
        snapshot.selections.append(LibraryFixtures::selection(int(snapshot.selections.size()), textSize));
        if (const std::optional<PersistenceError> error = persistence.write(snapshot)) {
            std::fprintf(stderr, "%s\n", qPrintable(error->description()));
            return 5;
        }
        std::printf("%lld\n", static_cast<long long>(snapshot.selections.size()));
        std::fflush(stdout);
    }
}

// The last complete number line of the child's output; -1 when there is none.
int lastAcknowledged(const QByteArray& output)
{
    const qsizetype end = output.lastIndexOf('\n');
    if (end < 0)
        return -1;
    const QList<QByteArray> lines = output.left(end).split('\n');
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        bool ok = false;
        const int value = lines[i].toInt(&ok);
        if (ok)
            return value;
    }
    return -1;
}

} // namespace

class TestLibraryCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedSavesLoseNothing()
    {
        QTemporaryDir dir;
        const QString primary = primaryIn(dir.path());
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);

        int known = 0; // selections a load has shown so far
        int acknowledged = 0; // the highest save the child reported as returned
        int kills = 0;
        for (int round = 0; round < 36; ++round) {
            QProcess child;
            child.setProgram(QCoreApplication::applicationFilePath());
            child.setArguments({QStringLiteral("--save-loop"), dir.path()});
            child.setProcessChannelMode(QProcess::SeparateChannels);
            child.start();
            QVERIFY(child.waitForStarted(10000));
            // Half the rounds are killed while starting up (and perhaps recovering), half while saving;
            // every fourth round first waits for a returned save, so that a slow machine (sanitizers,
            // busy cores) still makes progress between the kills.
            QByteArray output;
            if (round % 2 == 1) {
                const bool awaitSave = round % 4 == 3;
                QDeadlineTimer deadline(30000);
                while (child.state() == QProcess::Running && !deadline.hasExpired()) {
                    output += child.readAllStandardOutput();
                    const qsizetype ready = output.indexOf("ready\n");
                    if (ready >= 0 && (!awaitSave || lastAcknowledged(output.mid(ready + 6)) > 0))
                        break;
                    child.waitForReadyRead(100);
                }
            }
            QThread::msleep(random.bounded(5, 150));
            const bool running = child.state() == QProcess::Running;
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            QVERIFY2(running, child.readAllStandardError().constData());
            ++kills;

            const int reported = lastAcknowledged(output + child.readAllStandardOutput());
            acknowledged = qMax(acknowledged, reported);

            // Neither file is ever seen half-written, whenever the kill came.
            for (const QString& path : {primary, StoreLocations::backupURL(primary)}) {
                if (!QFileInfo::exists(path))
                    continue;
                const DocumentDecoding decoding = LibraryDocument::decode(LibraryFixtures::readFile(path));
                QVERIFY2(decoding.snapshot, qPrintable(path + QStringLiteral(": ") + decoding.error->description));
            }

            StorePersistence persistence(primary, StoreLocations::backupURL(primary));
            const StoreLoadResult loaded = persistence.load();
            QVERIFY2(loaded.status == StorePersistenceStatus::ready
                    || loaded.status == StorePersistenceStatus::recoveredFromBackup,
                qPrintable(loaded.status.name()));
            const int count = loaded.snapshot ? int(loaded.snapshot->selections.size()) : 0;
            QVERIFY2(
                count >= acknowledged, qPrintable(QStringLiteral("lost saves: %1 < %2").arg(count).arg(acknowledged)));
            QVERIFY(count >= known);
            QVERIFY(count <= qMax(acknowledged, known) + 1 || (count == startCount + 1 && known == 0));
            if (loaded.snapshot)
                QCOMPARE(*loaded.snapshot, expectedLibrary(count));
            known = count;
        }
        QVERIFY(kills >= 30);
        QVERIFY2(acknowledged > startCount, "the child never finished a save");
    }
};

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--save-loop") == 0) {
        QCoreApplication app(argc, argv);
        return saveLoop(QString::fromLocal8Bit(argv[2]));
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    TestLibraryCrash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_LibraryCrash.moc"
