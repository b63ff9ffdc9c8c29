#include "support/TestMain.h"

#include "ZubraCore/Support/IsoDate.h"

class TestIsoDate : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid = must not parse
        const QDateTime none;
        QTest::newRow("plain") << QStringLiteral("2025-03-14T09:26:53Z")
                               << QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC);
        QTest::newRow("leap day") << QStringLiteral("2024-02-29T23:59:59Z")
                                  << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC);
        QTest::newRow("year one") << QStringLiteral("0001-01-01T00:00:00Z")
                                  << QDateTime(QDate(1, 1, 1), QTime(0, 0, 0), Qt::UTC);
        QTest::newRow("fraction") << QStringLiteral("2025-03-14T09:26:53.870Z") << none;
        QTest::newRow("space for T") << QStringLiteral("2025-03-14 09:26:53Z") << none;
        QTest::newRow("lower-case t") << QStringLiteral("2025-03-14t09:26:53Z") << none;
        QTest::newRow("no seconds") << QStringLiteral("2025-03-14T09:26Z") << none;
        QTest::newRow("no zone") << QStringLiteral("2025-03-14T09:26:53") << none;
        QTest::newRow("offset") << QStringLiteral("2025-03-14T09:26:53+00:00") << none;
        QTest::newRow("lower-case z") << QStringLiteral("2025-03-14T09:26:53z") << none;
        QTest::newRow("not a day") << QStringLiteral("2025-02-29T09:26:53Z") << none;
        QTest::newRow("month 13") << QStringLiteral("2025-13-01T09:26:53Z") << none;
        QTest::newRow("hour 24") << QStringLiteral("2025-03-14T24:00:00Z") << none;
        QTest::newRow("leap second") << QStringLiteral("2016-12-31T23:59:60Z") << none;
        QTest::newRow("year zero") << QStringLiteral("0000-01-01T00:00:00Z") << none;
        QTest::newRow("sign in digits") << QStringLiteral("2025-03-1+T09:26:53Z") << none;
        QTest::newRow("arabic digits") << QStringLiteral("2025-03-14T09:26:5\u0663Z") << none;
        QTest::newRow("empty") << QString() << none;
        QTest::newRow("trailing space") << QStringLiteral("2025-03-14T09:26:53Z ") << none;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = IsoDate::parse(text);
        const std::optional<QDateTime> parsedUtf8 = IsoDate::parseUtf8(text.toUtf8().constData(), text.toUtf8().size());
        QCOMPARE(parsed.has_value(), expected.isValid());
        QCOMPARE(parsedUtf8.has_value(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(*parsed, expected);
            QCOMPARE(parsed->timeSpec(), Qt::UTC);
            QCOMPARE(*parsedUtf8, expected);
        }
    }

    void toText_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");
        QTest::newRow("fraction dropped")
            << QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53, 870), Qt::UTC) << QStringLiteral("2025-03-14T09:26:53Z");
        QTest::newRow("offset to utc") << QDateTime(QDate(2025, 3, 14), QTime(1, 0, 0), Qt::OffsetFromUTC, -3600)
                                       << QStringLiteral("2025-03-14T02:00:00Z");
        QTest::newRow("padding") << QDateTime(QDate(33, 1, 2), QTime(3, 4, 5), Qt::UTC)
                                 << QStringLiteral("0033-01-02T03:04:05Z");
        QTest::newRow("invalid") << QDateTime() << QString();
        QTest::newRow("beyond year 9999") << QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC) << QString();
    }

    void toText()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        QCOMPARE(IsoDate::toText(time), expected);
        if (!expected.isEmpty())
            QCOMPARE(IsoDate::parse(expected), std::optional<QDateTime>(IsoDate::wholeSecond(time)));
    }
};

TESSELLON_TEST_MAIN(TestIsoDate)
#include "tst_IsoDate.moc"
