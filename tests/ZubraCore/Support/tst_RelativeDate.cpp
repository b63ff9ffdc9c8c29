#include "ZubraCore/Support/RelativeDate.h"
#include "support/TestMain.h"

#include <QTest>

using RelativeDate::Offset;
using Unit = RelativeDate::Offset::Unit;
Q_DECLARE_METATYPE(RelativeDate::Offset)

namespace {

const QTimeZone utc = QTimeZone::utc();
const QTimeZone berlin("Europe/Berlin");
const QDateTime reference(QDate(2025, 3, 14), QTime(12, 0), Qt::UTC);

QDateTime at(int y, int mo, int d, int h = 12, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

} // namespace

class TestRelativeDate : public QObject
{
    Q_OBJECT

private slots:
    void offset_data();
    void offset();
    void wording_data();
    void wording();
    void oneAndMany_data();
    void oneAndMany();
    void timeZoneDecidesCalendarSpans();
    void otherLocale();
};

void TestRelativeDate::offset_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QDateTime>("ref");
    QTest::addColumn<Offset>("expected");
    QTest::newRow("same moment") << reference << reference << Offset {Unit::second, 0};
    QTest::newRow("59 s before") << reference.addSecs(-59) << reference << Offset {Unit::second, -59};
    QTest::newRow("1 min 59 s before") << reference.addSecs(-119) << reference << Offset {Unit::minute, -1};
    QTest::newRow("23 h 59 min before") << reference.addSecs(-86340) << reference << Offset {Unit::hour, -23};
    QTest::newRow("1 day 23 h before") << reference.addSecs(-(86400 + 23 * 3600)) << reference
                                       << Offset {Unit::day, -1};
    QTest::newRow("6 days before") << reference.addDays(-6) << reference << Offset {Unit::day, -6};
    QTest::newRow("13 days before") << reference.addDays(-13) << reference << Offset {Unit::week, -1};
    QTest::newRow("3 h after") << reference.addSecs(3 * 3600 + 5) << reference << Offset {Unit::hour, 3};
    // February is short: 14 Feb to 14 Mar is one month, 28 days.
    QTest::newRow("one month back over February") << at(2025, 2, 14) << reference << Offset {Unit::month, -1};
    QTest::newRow("one second short of a month") << at(2025, 2, 14, 12, 0, 1) << reference
                                                 << Offset {Unit::week, -3};
    QTest::newRow("leap day to next year") << at(2024, 2, 29) << at(2025, 2, 28) << Offset {Unit::year, -1};
    QTest::newRow("far past") << at(1, 1, 1) << reference << Offset {Unit::year, -2024};
    QTest::newRow("11 months 30 days") << at(2024, 3, 15) << reference << Offset {Unit::month, -11};
    QTest::newRow("invalid time") << QDateTime() << reference << Offset {Unit::second, 0};
}

void TestRelativeDate::offset()
{
    QFETCH(QDateTime, time);
    QFETCH(QDateTime, ref);
    QFETCH(Offset, expected);
    const Offset got = RelativeDate::offset(time, ref, utc);
    QCOMPARE(int(got.unit), int(expected.unit));
    QCOMPARE(got.count, expected.count);
}

void TestRelativeDate::wording_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("numeric");
    QTest::addColumn<QString>("named");
    QTest::newRow("now") << reference << u"in 0 seconds"_qs << u"now"_qs;
    QTest::newRow("30 s ago") << reference.addSecs(-30) << u"30 seconds ago"_qs << u"30 seconds ago"_qs;
    QTest::newRow("1 min ago") << reference.addSecs(-60) << u"1 minute ago"_qs << u"1 minute ago"_qs;
    QTest::newRow("2 h ago") << reference.addSecs(-7200) << u"2 hours ago"_qs << u"2 hours ago"_qs;
    QTest::newRow("yesterday") << reference.addDays(-1) << u"1 day ago"_qs << u"yesterday"_qs;
    QTest::newRow("2 days ago") << reference.addDays(-2) << u"2 days ago"_qs << u"2 days ago"_qs;
    QTest::newRow("tomorrow") << reference.addDays(1) << u"in 1 day"_qs << u"tomorrow"_qs;
    QTest::newRow("last week") << reference.addDays(-8) << u"1 week ago"_qs << u"last week"_qs;
    QTest::newRow("last month") << at(2025, 2, 1) << u"1 month ago"_qs << u"last month"_qs;
    QTest::newRow("3 years ago") << at(2022, 1, 1) << u"3 years ago"_qs << u"3 years ago"_qs;
    QTest::newRow("next year") << at(2026, 6, 1) << u"in 1 year"_qs << u"next year"_qs;
}

void TestRelativeDate::wording()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, numeric);
    QFETCH(QString, named);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    QCOMPARE(RelativeDate::format(time, reference, RelativeDate::Style::numeric, en, utc), numeric);
    QCOMPARE(RelativeDate::format(time, reference, RelativeDate::Style::named, en, utc), named);
}

void TestRelativeDate::oneAndMany_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("numeric");
    QTest::addColumn<QString>("named");
    struct Row
    {
        const char* name;
        QDateTime time;
        QString numeric;
        QString named;
    };
    const QList<Row> rows {
        {"1 second", reference.addSecs(-1), u"1 second ago"_qs, u"1 second ago"_qs},
        {"5 seconds", reference.addSecs(-5), u"5 seconds ago"_qs, u"5 seconds ago"_qs},
        {"1 minute", reference.addSecs(-61), u"1 minute ago"_qs, u"1 minute ago"_qs},
        {"5 minutes", reference.addSecs(-300), u"5 minutes ago"_qs, u"5 minutes ago"_qs},
        {"1 hour", reference.addSecs(-3600), u"1 hour ago"_qs, u"1 hour ago"_qs},
        {"5 hours", reference.addSecs(-5 * 3600), u"5 hours ago"_qs, u"5 hours ago"_qs},
        {"1 day", reference.addDays(-1), u"1 day ago"_qs, u"yesterday"_qs},
        {"5 days", reference.addDays(-5), u"5 days ago"_qs, u"5 days ago"_qs},
        {"1 week", reference.addDays(-7), u"1 week ago"_qs, u"last week"_qs},
        {"3 weeks", reference.addDays(-21), u"3 weeks ago"_qs, u"3 weeks ago"_qs},
        {"1 month", at(2025, 2, 14), u"1 month ago"_qs, u"last month"_qs},
        {"5 months", at(2024, 10, 14), u"5 months ago"_qs, u"5 months ago"_qs},
        {"1 year", at(2024, 3, 14), u"1 year ago"_qs, u"last year"_qs},
        {"5 years", at(2020, 3, 14), u"5 years ago"_qs, u"5 years ago"_qs},
        {"in 1 hour", reference.addSecs(3600), u"in 1 hour"_qs, u"in 1 hour"_qs},
        {"in 5 hours", reference.addSecs(5 * 3600), u"in 5 hours"_qs, u"in 5 hours"_qs},
    };
    // A system with no language set (LANG=C) words its dates in English as well.
    const QList<std::pair<const char*, QLocale>> locales {
        {"en_US", QLocale(QLocale::English, QLocale::UnitedStates)}, {"C", QLocale::c()}};
    for (const auto& [localeName, locale] : locales) {
        for (const Row& row : rows)
            QTest::addRow("%s, %s", localeName, row.name) << locale << row.time << row.numeric << row.named;
    }
}

void TestRelativeDate::oneAndMany()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, time);
    QFETCH(QString, numeric);
    QFETCH(QString, named);
    QCOMPARE(RelativeDate::format(time, reference, RelativeDate::Style::numeric, locale, utc), numeric);
    QCOMPARE(RelativeDate::format(time, reference, RelativeDate::Style::named, locale, utc), named);
}

void TestRelativeDate::timeZoneDecidesCalendarSpans()
{
    QVERIFY(berlin.isValid());
    // Clocks in Berlin went forward on 30 March 2025: 29 March 12:00 to 30 March 12:00 local is
    // a whole day there but only 23 hours of real time.
    const QDateTime before = QDateTime(QDate(2025, 3, 29), QTime(12, 0), berlin);
    const QDateTime after = QDateTime(QDate(2025, 3, 30), QTime(12, 0), berlin);
    QCOMPARE(before.secsTo(after), 23 * 3600);
    QCOMPARE(RelativeDate::offset(before, after, berlin), (Offset {Unit::day, -1}));
    QCOMPARE(RelativeDate::offset(before, after, utc), (Offset {Unit::hour, -23}));
}

void TestRelativeDate::otherLocale()
{
    const QString german = RelativeDate::format(
        reference.addDays(-1), reference, RelativeDate::Style::named, QLocale(QLocale::German, QLocale::Germany), utc);
    QCOMPARE(german, u"gestern"_qs);
}

TESSELLON_TEST_MAIN(TestRelativeDate)
#include "tst_RelativeDate.moc"
