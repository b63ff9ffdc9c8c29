#include "support/TestMain.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <QRandomGenerator>

class TestTextMetrics : public QObject
{
    Q_OBJECT

private slots:
    void count_data();
    void count();
    void boundariesMatchIcuOnRandomText();
    void prefix_data();
    void prefix();
    void splitLines_data();
    void splitLines();
    void isBoundary();
};

void TestTextMetrics::count_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("clusters");

    QTest::newRow("empty") << QString() << qsizetype(0);
    QTest::newRow("ascii") << u"hello"_qs << qsizetype(5);
    QTest::newRow("two combining marks after ascii run") << u"abe\u0301\u0308cd"_qs << qsizetype(5);
    QTest::newRow("CR LF is one") << u"a\r\nb"_qs << qsizetype(3);
    QTest::newRow("LF CR is two") << u"\n\r"_qs << qsizetype(2);
    QTest::newRow("CR CR LF") << u"\r\r\n"_qs << qsizetype(2);
    QTest::newRow("ZWJ family") << u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_qs << qsizetype(1);
    QTest::newRow("skin tone") << u"\U0001F44D\U0001F3FD!"_qs << qsizetype(2);
    QTest::newRow("three regional indicators") << u"\U0001F1E9\U0001F1EA\U0001F1EB"_qs << qsizetype(2);
    QTest::newRow("flag between ascii") << u"a\U0001F1E9\U0001F1EAb"_qs << qsizetype(3);
    QTest::newRow("devanagari conjunct") << u"\u0915\u094D\u0937"_qs << qsizetype(1);
    QTest::newRow("virama before astral") << u"\u0915\u094D\U00011013"_qs << qsizetype(2);
    QTest::newRow("hangul jamo") << u"\u1100\u1161\u11A8"_qs << qsizetype(1);
    QTest::newRow("CJK") << u"\u6F22\u5B57"_qs << qsizetype(2);
    QTest::newRow("keycap") << u"1\uFE0F\u20E3"_qs << qsizetype(1);
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u"a"_qs << qsizetype(2);
    QTest::newRow("prepend before ascii") << u"\u0600a"_qs << qsizetype(1);
}

void TestTextMetrics::count()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, clusters);
    QCOMPARE(TextMetrics::count(text), clusters);
    QCOMPARE(TextMetrics::countWithIcu(text), clusters);
    QCOMPARE(TextMetrics::boundaries(text).size(), clusters + 1);
}

// The shortcuts (ASCII and CJK runs skipped in blocks, units of the "Other" class) must agree with
// ICU on any mix of tricky code points, long runs between them included.
void TestTextMetrics::boundariesMatchIcuOnRandomText()
{
    const QList<char32_t> alphabet {U'a', U' ', U'\r', U'\n', U'\t', 0x0301, 0x0308, 0x200D, 0xFE0F, 0x1F468, 0x1F469,
        0x1F3FD, 0x1F1E9, 0x1F1EA, 0x0915, 0x094D, 0x0937, 0x0600, 0x1100, 0x1161, 0x11A8, 0x6F22, 0x20E3, U'1', 0x0E33,
        0xAC00, 0x00A9, 0x00E9, 0x3042, 0x0E01, 0x0E40, 0x0416, 0x0D15, 0x0D4D, 0x0CBF, 0x1F600, 0xD800, 0x3099, 0x302A,
        0x3097, 0x30FB};
    const QStringList runs {u"The quick brown fox jumps over"_qs,
        u"\u6F22\u5B57\u3001\u3072\u3089\u304C\u306A\u30AB\u30BF\u30AB\u30CA\u6F22\u5B57a\u6F22\u5B57\u3002"_qs};
    QRandomGenerator rng(20261206);
    for (int round = 0; round < 3000; ++round) {
        QString text;
        const int len = int(rng.bounded(0, 40));
        for (int i = 0; i < len; ++i) {
            if (rng.bounded(6) == 0) {
                const QString& run = runs[rng.bounded(int(runs.size()))];
                text += run.first(rng.bounded(1, int(run.size())));
                continue;
            }
            const char32_t c = alphabet[rng.bounded(int(alphabet.size()))];
            text += c == 0xD800 ? QString(QChar(0xD800)) : QString::fromUcs4(&c, 1);
        }
        const qsizetype reference = TextMetrics::countWithIcu(text);
        QCOMPARE(TextMetrics::count(text), reference);
        const QList<qsizetype> b = TextMetrics::boundaries(text);
        QCOMPARE(b.size(), reference + 1);
        for (qsizetype k = 0; k < b.size(); ++k) {
            QVERIFY(TextMetrics::isBoundary(text, b[k]));
            QCOMPARE(TextMetrics::prefixLength(text, k), b[k]);
            if (k > 0)
                QCOMPARE(TextMetrics::countWithIcu(QStringView(text).first(b[k])), k);
        }
    }
}

void TestTextMetrics::prefix_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("n");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << u"abc"_qs << qsizetype(0) << QString();
    QTest::newRow("negative") << u"abc"_qs << qsizetype(-3) << QString();
    QTest::newRow("more than the text") << u"abc"_qs << qsizetype(9) << u"abc"_qs;
    QTest::newRow("keeps the accent") << u"e\u0301f"_qs << qsizetype(1) << u"e\u0301"_qs;
    QTest::newRow("keeps CR LF whole") << u"a\r\nb"_qs << qsizetype(2) << u"a\r\n"_qs;
    QTest::newRow("keeps the flag whole") << u"\U0001F1E9\U0001F1EAx"_qs << qsizetype(1) << u"\U0001F1E9\U0001F1EA"_qs;
}

void TestTextMetrics::prefix()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, n);
    QFETCH(QString, expected);
    QCOMPARE(TextMetrics::prefix(text, n), expected);
}

void TestTextMetrics::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList {QString()};
    QTest::newRow("two lines") << u"a\nb"_qs << QStringList {u"a"_qs, u"b"_qs};
    QTest::newRow("trailing LF") << u"a\n"_qs << QStringList {u"a"_qs, QString()};
    QTest::newRow("CR LF does not split") << u"a\r\nb"_qs << QStringList {u"a\r\nb"_qs};
    QTest::newRow("LF after CR LF splits") << u"a\r\n\nb"_qs << QStringList {u"a\r\n"_qs, u"b"_qs};
    QTest::newRow("lone CR does not split") << u"a\rb"_qs << QStringList {u"a\rb"_qs};
}

void TestTextMetrics::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(TextMetrics::splitLines(text), lines);
    const qsizetype first = TextMetrics::indexOfLineFeed(text);
    QCOMPARE(first < 0 ? text : text.first(first), lines.first());
}

void TestTextMetrics::isBoundary()
{
    const QString text = u"a\r\nb\u0301"_qs;
    QVERIFY(TextMetrics::isBoundary(text, 0));
    QVERIFY(TextMetrics::isBoundary(text, 1));
    QVERIFY(!TextMetrics::isBoundary(text, 2)); // inside CR LF
    QVERIFY(TextMetrics::isBoundary(text, 3));
    QVERIFY(!TextMetrics::isBoundary(text, 4)); // before the combining mark
    QVERIFY(TextMetrics::isBoundary(text, 5));
}

TESSELLON_TEST_MAIN(TestTextMetrics)
#include "tst_TextMetrics.moc"
