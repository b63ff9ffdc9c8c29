#include "LibraryTestData.h"
#include "ZubraCore/Library/SelectionsMarkdown.h"
#include "ZubraCore/Library/StoreAggregation.h"
#include "support/TestMain.h"

#include <QTest>
#include <ctime>

using namespace LibraryTestData;

namespace {

// "identifier / appName / count / labels" for each row, labels joined by commas.
QStringList describe(const QList<SourceAggregate>& rows, const QList<Selection>& input)
{
    QStringList out;
    for (const SourceAggregate& row : rows) {
        QStringList names;
        for (const QUuid& id : row.selectionIDs) {
            for (const Selection& s : input) {
                if (s.id == id)
                    names.append(s.text);
            }
        }
        out.append(
            row.id() + " / " + row.identity.appName + " / " + QString::number(row.count) + " / " + names.join(','));
    }
    return out;
}

} // namespace

class TestStoreAggregation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sources_data();
    void sources();
    void rowCarriesFirstIdentity();
    void headingTime_data();
    void headingTime();
    void document_data();
    void document();
    void documentLeavesInputAlone();
    void fromSource_data();
    void fromSource();
};

void TestStoreAggregation::initTestCase()
{
    // Headings show local time: pin a zone with a half-hour offset so UTC output would be caught.
    qputenv("TZ", "Asia/Kolkata");
    tzset();
}

void TestStoreAggregation::sources_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing") << QStringList {} << QStringList {};
    QTest::newRow("one address from two browsers") << QStringList {"c1|Safari|12:00|https://a.example/",
        "c2|Firefox|11:00|https://a.example/", "c3|Safari|10:00|https://a.example/"}
                                                   << QStringList {"https://a.example/ / Safari / 3 / c1,c2,c3"};
    QTest::newRow("path alone and path with address are two sources")
        << QStringList {"doc|Writer|10:00||/home/u/a.txt", "web|Writer|11:00|https://x.example/|/home/u/a.txt"}
        << QStringList {"/home/u/a.txt / Writer / 1 / doc", "https://x.example/ / Writer / 1 / web"};
    QTest::newRow("rows by display, not by count or date")
        << QStringList {"b1|Mail|12:00|https://b.example/", "b2|Mail|11:00|https://b.example/", "z|Zed|13:00",
               "a|Alpha|09:00"}
        << QStringList {"Alpha / Alpha / 1 / a", "https://b.example/ / Mail / 2 / b1,b2", "Zed / Zed / 1 / z"};
    QTest::newRow("displays equal but for case stay apart in first-seen order") << QStringList {"n1|notes|12:00",
        "N1|Notes|11:00", "n2|notes|10:00"} << QStringList {"notes / notes / 2 / n1,n2", "Notes / Notes / 1 / N1"};
    // Text that looks the same is one source; a file path is bytes, and two spellings of a file
    // name are two files.
    QTest::newRow("app names by canonical equivalence") << QStringList {"d|Cafe\u0301|12:00", "c|Caf\u00e9|11:00",
        "x|Cafe|10:00"} << QStringList {"Cafe / Cafe / 1 / x", "Caf\u00e9 / Cafe\u0301 / 2 / d,c"};
    QTest::newRow("web addresses by canonical equivalence")
        << QStringList {"d|Firefox|12:00|https://x.example/cafe\u0301", "c|Chromium|11:00|https://x.example/caf\u00e9"}
        << QStringList {"https://x.example/caf\u00e9 / Firefox / 2 / d,c"};
    QTest::newRow("file paths byte for byte")
        << QStringList {"d|Writer|12:00||/home/u/Cafe\u0301.txt", "c|Writer|11:00||/home/u/Caf\u00e9.txt"}
        << QStringList {"/home/u/Cafe\u0301.txt / Writer / 1 / d", "/home/u/Caf\u00e9.txt / Writer / 1 / c"};
    QTest::newRow("empty app name is a key")
        << QStringList {"e|", "a|App"} << QStringList {" /  / 1 / e", "App / App / 1 / a"};
}

void TestStoreAggregation::sources()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    const QList<Selection> selections = fromLines(input);
    const QList<SourceAggregate> rows = StoreAggregation::sources(selections);
    QCOMPARE(describe(rows, selections), expected);
    for (const SourceAggregate& row : rows)
        QCOMPARE(row.count, row.selectionIDs.size());
}

void TestStoreAggregation::rowCarriesFirstIdentity()
{
    QList<Selection> input
        = fromLines({"first|Safari|10:00|https://a.example/", "second|Chrome|11:00|https://a.example/"});
    input[0].bundleID = u"com.apple.Safari"_qs;
    input[1].bundleID = u"com.google.Chrome"_qs;
    const QList<SourceAggregate> rows = StoreAggregation::sources(input);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].identity, SourceIdentity::from(input[0]));
    QCOMPARE(rows[0].selectionIDs, (QList<QUuid> {input[0].id, input[1].id}));
}

void TestStoreAggregation::headingTime_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("half-hour zone") << QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC) << "2025-03-14 14:56";
    QTest::newRow("crosses midnight") << QDateTime(QDate(2025, 12, 31), QTime(20, 0, 59), Qt::UTC)
                                      << "2026-01-01 01:30";
}

void TestStoreAggregation::headingTime()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(SelectionsMarkdown::headingTime(time), expected);
}

void TestStoreAggregation::document_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << QStringList {} << "";
    QTest::newRow("one block, no separator")
        << QStringList {"Body|Notes|10:00"} << u"## Notes \u00B7 2025-03-14 15:30\n\nBody"_qs;
    QTest::newRow("newest first comes out oldest first") << QStringList {"late|B|11:00",
        "early|A|10:00"} << u"## A \u00B7 2025-03-14 15:30\n\nearly\n\n---\n\n## B \u00B7 2025-03-14 16:30\n\nlate"_qs;
    QTest::newRow("equal times keep input order") << QStringList {"one|A|10:00",
        "two|B|10:00"} << u"## A \u00B7 2025-03-14 15:30\n\none\n\n---\n\n## B \u00B7 2025-03-14 15:30\n\ntwo"_qs;
    QTest::newRow("markdown kept as stored")
        << QStringList {"  spaced\n|A|10:00"} << u"## A \u00B7 2025-03-14 15:30\n\n  spaced\n"_qs;
}

void TestStoreAggregation::document()
{
    QFETCH(QStringList, input);
    QFETCH(QString, expected);
    QCOMPARE(SelectionsMarkdown::document(fromLines(input)), expected);
}

void TestStoreAggregation::documentLeavesInputAlone()
{
    QList<Selection> input = fromLines({"b|B|10:00", "a|A|09:00"});
    input[0].setMarkdown("");
    input[0].createdAt = input[0].createdAt.addSecs(30); // same minute as shown, later in fact
    input[1].createdAt = input[0].createdAt.addSecs(-10);
    const QList<Selection> copy = input;
    QCOMPARE(SelectionsMarkdown::document(input),
        u"## A \u00B7 2025-03-14 15:30\n\na\n\n---\n\n## B \u00B7 2025-03-14 15:30\n\n"_qs);
    QCOMPARE(input, copy);
    QCOMPARE(SelectionsMarkdown::single(input[1]), QString("a"));
}

void TestStoreAggregation::fromSource_data()
{
    QTest::addColumn<QString>("sourceLine");
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no selections: title alone")
        << "x|Safari|10:00|https://a.example/" << QStringList {} << "# https://a.example/";
    QTest::newRow("address wins over path")
        << "x|Safari|10:00|https://a.example/|/tmp/f" << QStringList {"t|Safari|10:00"}
        << u"# https://a.example/\n\n---\n\n## Safari \u00B7 2025-03-14 15:30\n\nt"_qs;
    QTest::newRow("path")
        << "x|Writer|10:00||/tmp/f" << QStringList {"b|Writer|11:00", "a|Writer|10:00"}
        << u"# /tmp/f\n\n---\n\n## Writer \u00B7 2025-03-14 15:30\n\na\n\n---\n\n## Writer \u00B7 2025-03-14 16:30\n\nb"_qs;
    QTest::newRow("app") << "x|Notes" << QStringList {} << "# Notes";
}

void TestStoreAggregation::fromSource()
{
    QFETCH(QString, sourceLine);
    QFETCH(QStringList, input);
    QFETCH(QString, expected);
    const SourceIdentity source = SourceIdentity::from(fromLine(sourceLine));
    QCOMPARE(SelectionsMarkdown::fromSource(fromLines(input), source), expected);
}

TESSELLON_TEST_MAIN(TestStoreAggregation)
#include "tst_StoreAggregation.moc"
