#include "support/TestMain.h"

#include "ZubraCore/Composition/TokenEstimator.h"

#include <QJsonObject>
#include <limits>

class TestTokenEstimator : public QObject
{
    Q_OBJECT

private slots:
    void profiles_data();
    void profiles();
    void estimate_data();
    void estimate();
    void estimateWithUnusableRatio_data();
    void estimateWithUnusableRatio();
    void format_data();
    void format();
    void profileJson();
};

void TestTokenEstimator::profiles_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("resolved");

    // Identifiers match exactly; anything else falls back to the first profile.
    QTest::newRow("known") << u"claude"_qs << u"claude"_qs;
    QTest::newRow("unknown") << u"unknown"_qs << u"gpt-4o"_qs;
    QTest::newRow("other letter case") << u"Claude"_qs << u"gpt-4o"_qs;
    QTest::newRow("empty") << QString() << u"gpt-4o"_qs;
}

void TestTokenEstimator::profiles()
{
    QFETCH(QString, id);
    QFETCH(QString, resolved);
    QCOMPARE(ModelProfile::profile(id).id, resolved);
}

void TestTokenEstimator::estimate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("tokens");

    QTest::newRow("empty") << QString() << qint64(0);
    QTest::newRow("four") << u"abcd"_qs << qint64(1);
    QTest::newRow("five") << u"abcde"_qs << qint64(2);
    QTest::newRow("128001") << QString(128001, u'x') << qint64(32001);
    QTest::newRow("accent counts once") << u"e\u0301"_qs << qint64(1);
    QTest::newRow("five CR LF are five") << u"\r\n\r\n\r\n\r\n\r\n"_qs << qint64(2);
    QTest::newRow("five flags after a long ASCII run")
        << QString(31, u'x') + QString(u"\U0001F1E9\U0001F1EA"_qs).repeated(5) << qint64(9);
}

void TestTokenEstimator::estimate()
{
    QFETCH(QString, text);
    QFETCH(qint64, tokens);
    QCOMPARE(TokenEstimator::estimate(text, ModelProfile::gpt4o()), tokens);
}

void TestTokenEstimator::estimateWithUnusableRatio_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<qint64>("tokens");

    // Nine characters: a usable ratio is honoured; anything else counts as four per token.
    QTest::newRow("three") << 3.0 << qint64(3);
    QTest::newRow("zero") << 0.0 << qint64(3);
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << qint64(3);
    QTest::newRow("tiny") << 1e-300 << std::numeric_limits<qint64>::max();
}

void TestTokenEstimator::estimateWithUnusableRatio()
{
    QFETCH(double, ratio);
    QFETCH(qint64, tokens);
    const ModelProfile odd {u"odd"_qs, u"Odd"_qs, 1000, ratio};
    QCOMPARE(TokenEstimator::estimate(u"abcdefghi"_qs, odd), tokens);
}

void TestTokenEstimator::format_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << u"0"_qs;
    QTest::newRow("four digits") << qint64(1000) << u"1,000"_qs;
    QTest::newRow("gemini budget") << qint64(1048576) << u"1,048,576"_qs;
    QTest::newRow("negative") << qint64(-12345) << u"-12,345"_qs;
}

void TestTokenEstimator::format()
{
    QFETCH(qint64, count);
    QFETCH(QString, text);
    QCOMPARE(TokenEstimator::format(count), text);

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString german = TokenEstimator::format(count);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(german, QString(text).replace(u',', u'.'));
}

void TestTokenEstimator::profileJson()
{
    for (const ModelProfile& p : ModelProfile::all())
        QCOMPARE(ModelProfile::fromJson(p.toJson()), std::optional<ModelProfile>(p));
    QJsonObject missing = ModelProfile::claude().toJson();
    missing.remove(u"charsPerToken"_qs);
    QVERIFY(!ModelProfile::fromJson(missing));
    QJsonObject wrongType = ModelProfile::claude().toJson();
    wrongType.insert(u"contextTokens"_qs, u"200000"_qs);
    QVERIFY(!ModelProfile::fromJson(wrongType));
    QJsonObject fractional = ModelProfile::claude().toJson();
    fractional.insert(u"contextTokens"_qs, 1.5);
    QVERIFY(!ModelProfile::fromJson(fractional));
}

TESSELLON_TEST_MAIN(TestTokenEstimator)
#include "tst_TokenEstimator.moc"
