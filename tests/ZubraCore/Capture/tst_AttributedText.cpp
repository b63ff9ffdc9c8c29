#include "ZubraCore/Capture/AttributedText.h"

#include "RichTextDescribe.h"
#include "support/TestMain.h"

#include <QTest>

static TextAttributes boldAttributes()
{
    TextAttributes a;
    a.font = TextFont {QStringLiteral("F"), QStringLiteral("F-Bold"), 12, true, false, false};
    return a;
}

class TestAttributedText : public QObject
{
    Q_OBJECT

private slots:
    void coalescing();
    void keepsTextExactly();
    void runLookup();
    void paragraphRanges_data();
    void paragraphRanges();
};

void TestAttributedText::coalescing()
{
    AttributedText text;
    text.append(u"a", boldAttributes());
    text.append(u"", TextAttributes {}); // nothing, and no empty run
    text.append(u"b", boldAttributes());
    text.append(u"c", TextAttributes {});
    TextAttributes heading0;
    heading0.heading = 0;
    text.append(u"d", heading0); // absent and 0 differ
    QCOMPARE(text.text(), QStringLiteral("abcd"));
    QCOMPARE(text.runs().size(), 3);
    QVERIFY(runsAreWellFormed(text));

    AttributedText other(QStringLiteral("e"), heading0);
    text.append(other);
    QCOMPARE(text.runs().size(), 3);
    QCOMPARE(text.runs().last().length, 2);
}

void TestAttributedText::keepsTextExactly()
{
    const QString raw = QStringLiteral("a\rb\u00A0c\u2028d\r\n");
    QCOMPARE(AttributedText(raw).text(), raw);
}

void TestAttributedText::runLookup()
{
    AttributedText text;
    text.append(u"aa", TextAttributes {});
    text.append(u"bbb", boldAttributes());
    text.append(u"c", TextAttributes {});
    QCOMPARE(text.runIndexAt(-1), -1);
    QCOMPARE(text.runIndexAt(0), 0);
    QCOMPARE(text.runIndexAt(1), 0);
    QCOMPARE(text.runIndexAt(2), 1);
    QCOMPARE(text.runIndexAt(4), 1);
    QCOMPARE(text.runIndexAt(5), 2);
    QCOMPARE(text.runIndexAt(6), -1);
    QCOMPARE(text.attributesAt(3), boldAttributes());
    QCOMPARE(text.attributesAt(99), TextAttributes {});
}

void TestAttributedText::paragraphRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qsizetype>>("starts"); // each paragraph's start, then the text's end

    QTest::newRow("line feeds") << QStringLiteral("ab\ncd\n") << QList<qsizetype> {0, 3, 6};
    QTest::newRow("no terminator at the end") << QStringLiteral("ab\ncd") << QList<qsizetype> {0, 3, 5};
    QTest::newRow("CR LF is one terminator") << QStringLiteral("a\r\nb") << QList<qsizetype> {0, 3, 4};
    QTest::newRow("CR alone") << QStringLiteral("a\rb") << QList<qsizetype> {0, 2, 3};
    QTest::newRow("LF CR is two") << QStringLiteral("a\n\rb") << QList<qsizetype> {0, 2, 3, 4};
    QTest::newRow("paragraph separator") << QStringLiteral("a\u2029b") << QList<qsizetype> {0, 2, 3};
    QTest::newRow("line separator stays inside") << QStringLiteral("a\u2028b\n") << QList<qsizetype> {0, 4};
    QTest::newRow("empty paragraphs") << QStringLiteral("\n\n") << QList<qsizetype> {0, 1, 2};
}

void TestAttributedText::paragraphRanges()
{
    QFETCH(QString, text);
    QFETCH(QList<qsizetype>, starts);
    const AttributedText attributed(text);
    for (qsizetype k = 0; k + 1 < starts.size(); ++k) {
        // Every offset inside a paragraph finds the whole paragraph.
        for (qsizetype offset = starts[k]; offset < starts[k + 1]; ++offset) {
            const ParagraphRange range = attributed.paragraphRangeAt(offset);
            QCOMPARE(range.start, starts[k]);
            QCOMPARE(range.end(), starts[k + 1]);
        }
    }
}

TESSELLON_TEST_MAIN(TestAttributedText)
#include "tst_AttributedText.moc"
