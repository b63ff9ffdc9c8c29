// Thousands of damaged variants of a valid library: each one ends in a status, never in a
// crash, a hang or a lost file.

#include "support/LibraryFixtures.h"
#include "support/TestMain.h"

#include "support/MemoryFileSystem.h"
#include "support/RecordingSystemLog.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Library/StorePersistence.h"

#include <QRandomGenerator>

namespace {

const QString primaryPath = QStringLiteral("/library/Tessellon.json");
const QString backupPath = QStringLiteral("/library/Tessellon.backup.json");
const QString preservedPath = QStringLiteral("/library/Tessellon.unreadable.json");

// One random change of the bytes.
QByteArray mutate(const QByteArray& original, QRandomGenerator& random)
{
    QByteArray bytes = original;
    const auto at = [&] { return qsizetype(random.bounded(quint32(bytes.size() + 1))); };
    switch (random.bounded(9)) {
    case 0: // truncation
        bytes.truncate(at());
        break;
    case 1: // byte flips
        for (int i = random.bounded(1, 6); i > 0 && !bytes.isEmpty(); --i)
            bytes[qMin(at(), bytes.size() - 1)] = char(random.bounded(256));
        break;
    case 2: // a structural character inserted
        bytes.insert(at(), "{}[],:\"\\0-e."[random.bounded(12)]);
        break;
    case 3: // a range removed
    {
        const qsizetype from = at();
        bytes.remove(from, random.bounded(1, 200));
        break;
    }
    case 4: // deep nesting
    {
        const int depth = random.bounded(100, 20000);
        bytes.insert(at(), QByteArray(depth, random.bounded(2) ? '[' : '{'));
        break;
    }
    case 5: // deep nesting inside an ignored key: still a valid library
    {
        const int depth = random.bounded(100, 20000);
        bytes.insert(bytes.indexOf('{') + 1, "\"nested\":" + QByteArray(depth, '[') + QByteArray(depth, ']') + ",");
        break;
    }
    case 6: // a huge string in place of a text
    {
        const qsizetype quote = bytes.indexOf("\"text\": \"");
        if (quote >= 0)
            bytes.insert(quote + 9, QByteArray(random.bounded(1 << 14, 1 << 18), 'x'));
        break;
    }
    case 7: // a value of another type
    {
        const qsizetype colon = bytes.indexOf(": ", at());
        if (colon >= 0)
            bytes.insert(colon + 2, random.bounded(2) ? "1, \"was\": " : "null, \"was\": ");
        break;
    }
    case 8: // a record repeated
    {
        const qsizetype start = bytes.indexOf("        {", at());
        const qsizetype end = start >= 0 ? bytes.indexOf("        }", start) : -1;
        if (end >= 0)
            bytes.insert(start, bytes.mid(start, end - start + 9) + ",\n");
        break;
    }
    }
    return bytes;
}

} // namespace

class TestLibraryRobustness : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Loggers::setSystemLog(&m_log); }
    void cleanupTestCase() { Loggers::setSystemLog(nullptr); }

    void damagedPrimaries()
    {
        const QByteArray valid = LibraryDocument::encode(LibraryFixtures::snapshot(12)).bytes;
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        int decoded = 0;
        for (int round = 0; round < 3000; ++round) {
            const QByteArray damaged = mutate(valid, random);
            // Every tenth round the backup is damaged too.
            const QByteArray backup = round % 10 == 0 ? mutate(valid, random) : valid;
            const ParsedLibraryDocument parsed(damaged);
            const DocumentDecoding decoding = parsed.decode();
            const std::optional<DocumentError> validation = parsed.validate();
            QCOMPARE(validation.has_value(), decoding.error.has_value());
            if (validation)
                QCOMPARE(validation->kind, decoding.error->kind);
            decoded += decoding.snapshot ? 1 : 0;

            auto files = std::make_shared<MemoryFileSystem>();
            files->place(primaryPath, damaged);
            files->place(backupPath, backup);
            StorePersistence persistence(primaryPath, backupPath, files);
            const StoreLoadResult result = persistence.load();
            QHash<QString, QByteArray> after = files->files();
            after.remove(StorePersistence::lockPath(primaryPath)); // marks the library open, holds no data
            switch (result.status) {
            case StorePersistenceStatus::ready:
                QVERIFY(decoding.snapshot);
                QCOMPARE(result.snapshot, decoding.snapshot);
                QCOMPARE(after.value(backupPath), damaged);
                break;
            case StorePersistenceStatus::recoveredFromBackup:
                QVERIFY(!decoding.snapshot);
                QCOMPARE(after.value(preservedPath), damaged);
                QCOMPARE(after.value(primaryPath), backup);
                break;
            case StorePersistenceStatus::unreadablePrimary:
                QVERIFY(!decoding.snapshot);
                QVERIFY(backup != valid);
                QCOMPARE(after.value(preservedPath), damaged);
                QCOMPARE(after.value(primaryPath), damaged);
                QVERIFY(!persistence.writesAllowed());
                break;
            case StorePersistenceStatus::incompatibleVersion:
                QCOMPARE(after.size(), 2);
                QCOMPARE(after.value(primaryPath), damaged);
                QCOMPARE(after.value(backupPath), backup);
                QVERIFY(!persistence.writesAllowed());
                break;
            default:
                QFAIL(qPrintable(QStringLiteral("unexpected status ") + result.status.name()));
            }
            m_log.clear();
        }
        qInfo("%d of 3000 variants still decoded", decoded);
    }

    void hugeAndDeepDocuments_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("nested arrays") << QByteArray(2000000, '[');
        QTest::newRow("nested objects") << QByteArray("{\"a\":").repeated(500000);
        QTest::newRow("balanced nesting")
            << "{\"version\":2,\"groups\":[],\"selections\":" + QByteArray(300000, '[') + QByteArray(300000, ']') + "}";
        QTest::newRow("unterminated string") << "{\"version\":2,\"selections\":[\"" + QByteArray(8 << 20, 'y');
        QTest::newRow("long number") << "{\"version\":" + QByteArray(1 << 20, '9') + "}";
        QTest::newRow("nul bytes") << QByteArray(4096, '\0');
    }

    void hugeAndDeepDocuments()
    {
        QFETCH(QByteArray, bytes);
        auto files = std::make_shared<MemoryFileSystem>();
        files->place(primaryPath, bytes);
        StorePersistence persistence(primaryPath, backupPath, files);
        const StoreLoadResult result = persistence.load();
        QCOMPARE(result.status, StorePersistenceStatus::unreadablePrimary);
        QCOMPARE(files->files().value(preservedPath), bytes);
        QCOMPARE(files->files().value(primaryPath), bytes);
    }

private:
    RecordingSystemLog m_log;
};

TESSELLON_TEST_MAIN(TestLibraryRobustness)
#include "tst_LibraryRobustness.moc"
