#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/SourceIdentity.h"
#include "ZubraCore/Support/IsoDate.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "support/TestMain.h"

#include <QSet>
#include <QTest>

class TestSampleData : public QObject
{
    Q_OBJECT

private slots:
    void referenceDate();
    void samples();
    void callsDifferOnlyInIdentifiers();
    void sharedAndDistinctSources();
    void isoFallsBackToNow_data();
    void isoFallsBackToNow();
};

void TestSampleData::referenceDate()
{
    const QDateTime reference = SampleData::screenshotReferenceDate();
    QCOMPARE(reference, QDateTime(QDate(2026, 9, 1), QTime(10, 30), Qt::UTC));
    QCOMPARE(SampleData::screenshotReferenceDate(), reference);
    const QList<Selection> samples = SampleData::sampleSelections(reference);
    QCOMPARE(IsoDate::toText(samples.first().createdAt), QStringLiteral("2026-09-01T10:18:00Z"));
    QCOMPARE(IsoDate::toText(samples.last().createdAt), QStringLiteral("2026-08-30T10:30:00Z"));
}

void TestSampleData::samples()
{
    const QDateTime now(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QList<Selection> samples = SampleData::sampleSelections(now);
    QCOMPARE(samples.size(), 6);
    // Dated from the given moment, not from the reference date.
    QCOMPARE(samples.first().createdAt.secsTo(now), 720);
    QCOMPARE(samples.last().createdAt.secsTo(now), 172800);
    for (const Selection& s : samples) {
        QVERIFY(s.bundleID.has_value());
        QVERIFY(s.groupIDs.isEmpty());
        QVERIFY(!s.id.isNull());
        if (s.sourceURL)
            QVERIFY(s.sourceURL->startsWith(QStringLiteral("https://")));
    }
    // Only the first carries Markdown of its own; its title is not plain ASCII.
    QCOMPARE(samples[0].markdown(), QStringLiteral("**Swift**") + samples[0].text.mid(5));
    QCOMPARE(TextMetrics::count(*samples[0].sourceTitle), 44);
    QCOMPARE(samples[0].sourceTitle->toUtf8().size(), 46);
    for (qsizetype i = 1; i < samples.size(); ++i)
        QCOMPARE(samples[i].markdown(), samples[i].text);
}

void TestSampleData::callsDifferOnlyInIdentifiers()
{
    const QDateTime now = SampleData::screenshotReferenceDate();
    QList<Selection> first = SampleData::sampleSelections(now);
    QList<Selection> second = SampleData::sampleSelections(now);
    QSet<QUuid> ids;
    for (qsizetype i = 0; i < first.size(); ++i) {
        ids << first[i].id << second[i].id;
        second[i].id = first[i].id;
    }
    QCOMPARE(ids.size(), 12);
    QCOMPARE(first, second);
    for (qsizetype i = 1; i < first.size(); ++i)
        QVERIFY(first[i - 1].createdAt > first[i].createdAt); // newest first
}

void TestSampleData::sharedAndDistinctSources()
{
    const QList<Selection> samples = SampleData::sampleSelections(SampleData::screenshotReferenceDate());
    QCOMPARE(samples[3].sourceURL, samples[4].sourceURL);
    QCOMPARE(samples[3].bundleID, samples[4].bundleID);
    QCOMPARE(samples[0].sourceURL->section(QLatin1Char('/'), 3).prepend(QLatin1Char('/')),
        QStringLiteral("/swift-book/documentation/the-swift-programming-language/concurrency/"));
    QCOMPARE(samples[3].sourceURL->section(QLatin1Char('/'), 3).prepend(QLatin1Char('/')),
        QStringLiteral("/jetpack/compose/layouts/adaptive"));
    QSet<QString> sources;
    QSet<QString> apps;
    for (const Selection& s : samples) {
        QVERIFY(!(s.sourceURL && s.filePath));
        sources << SourceIdentity::keyOf(s);
        apps << s.appName;
    }
    QCOMPARE(sources.size(), 5);
    QCOMPARE(apps.size(), 5);
}

void TestSampleData::isoFallsBackToNow_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("words") << "yesterday";
    QTest::newRow("no zone") << "2026-09-01T10:30:00";
    QTest::newRow("impossible day") << "2026-02-30T10:30:00Z";
}

void TestSampleData::isoFallsBackToNow()
{
    QFETCH(QString, text);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QDateTime parsed = SampleData::iso(text);
    QVERIFY(parsed.isValid());
    QVERIFY(parsed >= before.addSecs(-1));
    QVERIFY(parsed <= QDateTime::currentDateTimeUtc().addSecs(1));
}

TESSELLON_TEST_MAIN(TestSampleData)
#include "tst_SampleData.moc"
