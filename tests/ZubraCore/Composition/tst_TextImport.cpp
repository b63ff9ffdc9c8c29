// Splitting pasted text into chunks: cases and the comparison with the plain definition.

#include "PlainTextImport.h"
#include "RandomTexts.h"
#include "ZubraCore/Composition/TextImport.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "support/TestMain.h"

#include <QtTest>

class TestTextImport : public QObject
{
    Q_OBJECT

private slots:
    void chunks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("empty") << u""_qs << 4000 << QStringList();
        QTest::addRow("whitespace") << u" \n\r\n\t \n"_qs << 4000 << QStringList();
        QTest::addRow("three paragraphs")
            << u"One.\n\nTwo.\n\n\n\nThree."_qs << 4000 << QStringList {u"One."_qs, u"Two."_qs, u"Three."_qs};
        QTest::addRow("windows line ends")
            << u"One.\r\n\r\nTwo.\r\nmore"_qs << 4000 << QStringList {u"One."_qs, u"Two.\nmore"_qs};
        QTest::addRow("old mac line ends")
            << u"One.\r\rTwo.\rmore"_qs << 4000 << QStringList {u"One."_qs, u"Two.\nmore"_qs};
        QTest::addRow("paragraph of exactly max") << u"abcd\nefgh"_qs << 9 << QStringList {u"abcd\nefgh"_qs};
        QTest::addRow("one more splits at the line break")
            << u"abcd\nefghi"_qs << 9 << QStringList {u"abcd"_qs, u"efghi"_qs};
        QTest::addRow("lines packed greedily")
            << u"aa\nbb\ncc\ndd\nee"_qs << 8 << QStringList {u"aa\nbb\ncc"_qs, u"dd\nee"_qs};
        QTest::addRow("long line after short ones")
            << u"aa\nbbbbbbbbbb cc\ndd"_qs << 8 << QStringList {u"aa"_qs, u"bbbbbbbb"_qs, u"bb cc"_qs, u"dd"_qs};
        QTest::addRow("hard cuts") << QString(10, u'x') << 4 << QStringList {u"xxxx"_qs, u"xxxx"_qs, u"xx"_qs};
        QTest::addRow("leading spaces vanish, inner runs stay")
            << u"a   bb  cc dd\nx"_qs << 6 << QStringList {u"a   bb"_qs, u"cc dd"_qs, u"x"_qs};
        QTest::addRow("spaces inside a block survive at the edges")
            << u"ab  \ncd\n  ef gh ij"_qs << 6 << QStringList {u"ab  "_qs, u"cd"_qs, u"ef gh"_qs, u"ij"_qs};
        QTest::addRow("cut space belongs to neither")
            << u"abc def ghi"_qs << 7 << QStringList {u"abc def"_qs, u"ghi"_qs};
        QTest::addRow("clusters count once") << u"e\u0301e\u0301e\u0301\U0001F1FA\U0001F1F8"_qs << 2
                                             << QStringList {u"e\u0301e\u0301"_qs, u"e\u0301\U0001F1FA\U0001F1F8"_qs};
        QTest::addRow("space with a mark is no space")
            << u"ab \u0301cd ef"_qs << 3 << QStringList {u"ab \u0301"_qs, u"cd"_qs, u"ef"_qs};
        QTest::addRow("zero max counts as one") << u"abc"_qs << 0 << QStringList {u"a"_qs, u"b"_qs, u"c"_qs};
        QTest::addRow("negative max counts as one") << u"ab"_qs << -7 << QStringList {u"a"_qs, u"b"_qs};
    }
    void chunks()
    {
        QFETCH(QString, text);
        QFETCH(int, maxLength);
        QFETCH(QStringList, expected);
        QCOMPARE(TextImport::chunks(text, maxLength), expected);
    }

    void bigWordInChunksOfMax()
    {
        const QStringList chunks = TextImport::chunks(QString(10000, u'w'), 4000);
        QCOMPARE(chunks.size(), 3);
        QCOMPARE(chunks[0].size(), 4000);
        QCOMPARE(chunks[1].size(), 4000);
        QCOMPARE(chunks[2].size(), 2000);
    }

    void matchesPlainDefinition_data()
    {
        QTest::addColumn<quint32>("seed");
        for (int i = 0; i < 400; ++i)
            QTest::addRow("seed %d", i) << quint32(7000 + i);
    }
    void matchesPlainDefinition()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        const QString text = RandomTexts::text(rng, 60);
        for (qsizetype maxLength : {1, 2, 3, 7, 20, 80}) {
            const QStringList actual = TextImport::chunks(text, maxLength);
            QCOMPARE(actual, PlainTextImport::chunks(text, maxLength));
            for (const QString& chunk : actual) {
                QVERIFY(!chunk.isEmpty());
                QVERIFY(TextMetrics::count(chunk) <= maxLength);
            }
        }
    }
};

TESSELLON_TEST_MAIN(TestTextImport)
#include "tst_TextImport.moc"
