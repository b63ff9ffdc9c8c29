#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/RtfReader.h"

#include "RichTextDescribe.h"
#include "support/TestMain.h"

#include <QTest>

class TestRtfReader : public QObject
{
    Q_OBJECT

private slots:
    void markdown_data();
    void markdown();
    void attributes_data();
    void attributes();
    void declines_data();
    void declines();
    void limits_data();
    void limits();
    void rtfdGivesNothing();
};

static const QString nothing = QStringLiteral("<nothing>");

static const QByteArray macList = R"({\rtf1\ansi\ansicpg1252{\fonttbl\f0\fswiss\fcharset0 Helvetica;}
{\*\listtable{\list\listtemplateid1\listhybrid{\listlevel\levelnfc23\levelnfcn23\leveljc0\levelstartat1{\*\levelmarker \{disc\}}{\leveltext\leveltemplateid1\'01\uc0\u8226 ;}{\levelnumbers;}\fi-360\li720\lin720 }{\listlevel\levelnfc0\levelstartat1{\*\levelmarker \{decimal\}.}{\leveltext\leveltemplateid2\'02\'01.;}{\levelnumbers\'01;}\fi-360\li1440\lin1440 }{\listname ;}\listid1}}
{\*\listoverridetable{\listoverride\listid1\listoverridecount0\ls1}}
\pard\tx220\tx720\li720\fi-720\pardirnatural\ls1\ilvl0\f0\fs24 \cf0 {\listtext\tab \uc0\u8226 \tab}one\
{\listtext\tab \uc0\u8226 \tab}two\
\pard\li1440\fi-1440\ls1\ilvl1 {\listtext\tab 1.\tab}inner\
\pard after\par})";

void TestRtfReader::markdown_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("bold") << QByteArray(R"({\rtf1\ansi Hello \b bold\b0  world\par})") << "Hello **bold** world";
    QTest::newRow("italic and plain") << QByteArray(R"({\rtf1 {\i it}\i  again\plain  no})") << "*it again* no";
    QTest::newRow("font table, modern is monospaced")
        << QByteArray(R"({\rtf1{\fonttbl{\f0\fswiss Helvetica;}{\f1\fmodern Lucida Console;}}\f0 a \f1 code\f0  b})")
        << "a `code` b";
    QTest::newRow("courier by name") << QByteArray(R"({\rtf1{\fonttbl\f0\fnil Courier New;}\f0 x})") << "`x`";
    QTest::newRow("default font") << QByteArray(R"({\rtf1\deff1{\fonttbl\f0\fswiss Arial;\f1\fmodern Consolas;}y})")
                                  << "`y`";
    QTest::newRow("heading from size") << QByteArray(R"({\rtf1\fs48 Title\par\fs24 body\par more {\b bold}\par})")
                                       << "# Title\nbody\nmore **bold**";
    QTest::newRow("unicode escape skips the fallback")
        << QByteArray(R"({\rtf1 caf\u233?s})") << QStringLiteral("caf\u00E9s");
    QTest::newRow("uc0") << QByteArray(R"({\rtf1\uc0 \u8226 x})") << QStringLiteral("\u2022x");
    QTest::newRow("uc2 skips two hex bytes")
        << QByteArray(R"({\rtf1\uc2 \u8364\'80\'80!})") << QStringLiteral("\u20AC!");
    QTest::newRow("uc is per group") << QByteArray(R"({\rtf1{\uc0 \u8226 }\u8226 ab})")
                                     << QStringLiteral("\u2022\u2022b");
    QTest::newRow("negative escape and surrogates")
        << QByteArray(R"({\rtf1 \u-10179?\u-8704?})") << QStringLiteral("\U0001F600");
    QTest::newRow("lone surrogate replaced") << QByteArray(R"({\rtf1 \u55357?x})") << QStringLiteral("\uFFFDx");
    QTest::newRow("code page 1252") << QByteArray(R"({\rtf1\ansi\ansicpg1252 \'93quoted\'94})")
                                    << QStringLiteral("\u201Cquoted\u201D");
    QTest::newRow("code page 1251") << QByteArray(R"({\rtf1\ansi\ansicpg1251 \'c0\'e1})")
                                    << QStringLiteral("\u0410\u0431");
    QTest::newRow("font charset Shift-JIS")
        << QByteArray(R"({\rtf1{\fonttbl{\f0\fnil\fcharset128 MS Gothic;}}\f0 \'82\'a0})") << QStringLiteral("\u3042");
    QTest::newRow("Mac Roman") << QByteArray(R"({\rtf1\mac \'8e})") << QStringLiteral("\u00E9");
    QTest::newRow("unknown code page reads as 1252")
        << QByteArray(R"({\rtf1\ansicpg99999 \'e9})") << QStringLiteral("\u00E9");
    QTest::newRow("raw high bytes use the code page")
        << QByteArray("{\\rtf1\\ansicpg1252 caf\xe9}") << QStringLiteral("caf\u00E9");
    QTest::newRow("hyperlink") << QByteArray(
        R"({\rtf1 see {\field{\*\fldinst{HYPERLINK "https://example.org/"}}{\fldrslt{\ul site}}} now})")
                               << "see [site](https://example.org/) now";
    QTest::newRow("hyperlink without quotes, with switch")
        << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK \\o "tip" https://x.org}{\fldrslt x}}})")
        << "[x](https://x.org)";
    QTest::newRow("hyperlink after a new-window switch")
        << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK \\n "https://x.org"}{\fldrslt x}}})")
        << "[x](https://x.org)";
    QTest::newRow("hyperlink after an image-map switch")
        << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK \\m https://x.org}{\fldrslt x}}})") << "[x](https://x.org)";
    QTest::newRow("hyperlink after a target switch")
        << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK \\t "_blank" "https://x.org"}{\fldrslt x}}})")
        << "[x](https://x.org)";
    QTest::newRow("unsafe hyperlink is text")
        << QByteArray(R"rtf({\rtf1{\field{\*\fldinst{HYPERLINK "javascript:alert(1)"}}{\fldrslt{t}}}})rtf") << "t";
    QTest::newRow("local anchor is text")
        << QByteArray(R"({\rtf1{\field{\*\fldinst{HYPERLINK \\l "section"}}{\fldrslt{t}}}})") << "t";
    QTest::newRow("other fields show their result")
        << QByteArray(R"({\rtf1{\field{\*\fldinst{PAGE}}{\fldrslt{3}}}})") << "3";
    QTest::newRow("lists with list text") << macList << "- one\n- two\n  1. inner\nafter";
    QTest::newRow("older numbering") << QByteArray(
        R"({\rtf1{\pntext\f0 1.\tab}{\*\pn\pnlvlbody\pndec{\pntxta .}}first\par})")
                                     << "1. first";
    QTest::newRow("indent makes a quote")
        << QByteArray(R"({\rtf1 a\par\pard\li720 quoted\par\pard b\par})") << "a\n> quoted\nb";
    QTest::newRow("first-line indent counts")
        << QByteArray(R"({\rtf1 a\par\pard\li720\fi-720 hanging\par})") << "a\nhanging";
    QTest::newRow("line, tab and symbols")
        << QByteArray(R"({\rtf1 a\line b\tab c\~d\{\}\\\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})")
        << QStringLiteral("a\u2028b\tc\u00A0d{}\\\\\u2014\u2013\u2022\u2018\u2019\u201C\u201D");
    QTest::newRow("backslash newline is a paragraph") << QByteArray("{\\rtf1 a\\\nb}") << "a\nb";
    QTest::newRow("raw line breaks ignored") << QByteArray("{\\rtf1 a\r\nb}") << "ab";
    QTest::newRow("picture skipped") << QByteArray(R"({\rtf1 a{\pict\pngblip 89504e47}b})") << "ab";
    QTest::newRow("binary data with braces skipped") << QByteArray(R"({\rtf1 a{\pict\bin4 }}}}}b})") << "ab";
    QTest::newRow("ignorable destination skipped") << QByteArray(R"({\rtf1 a{\*\unknown hidden {x}}b})") << "ab";
    QTest::newRow("unknown group shows its text") << QByteArray(R"({\rtf1 a{\unknown shown}b})") << "ashownb";
    QTest::newRow("tables skipped: style sheet, info, colours")
        << QByteArray(R"({\rtf1{\colortbl;\red0\green0\blue0;}{\stylesheet{\s0 Normal;}}{\info{\title T}}x})") << "x";
    QTest::newRow("hidden text") << QByteArray(R"({\rtf1 a{\v secret}b\v  more\v0  c\v\plain  d})") << "ab c d";
    QTest::newRow("text after the root group ignored") << QByteArray(R"({\rtf1 x}trailing)") << "x";
    QTest::newRow("leading white space allowed") << QByteArray("\r\n {\\rtf1 x}") << "x";
    QTest::newRow("table cells") << QByteArray(R"({\rtf1\trowd a\cell b\cell\row})") << "a\tb";
}

void TestRtfReader::markdown()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, markdown);
    const std::optional<AttributedText> text = RtfReader::read(rtf);
    QVERIFY(text);
    QVERIFY(runsAreWellFormed(*text));
    QCOMPARE(MarkdownSerializer::convert(*text), markdown);
}

void TestRtfReader::attributes_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("sizes and traits") << QByteArray(R"({\rtf1\fs20 a{\b\i\fs36 b}c})")
                                      << "{a|s=10}{b|b,i,s=18}{c|s=10}";
    QTest::newRow("fixed pitch is monospaced") << QByteArray(R"({\rtf1{\fonttbl{\f2\fnil\fprq1 X;}}\f2 m})") << "{m|m}";
    QTest::newRow("indent in points") << QByteArray(R"({\rtf1\li400\fi-100 x})") << "{x|q=15}";
    QTest::newRow("list levels") << macList.left(macList.indexOf("one")) + "x}"
                                 << "{\t\u2022\tx|ul}";
    QTest::newRow("link") << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK "mailto:a@b.org"}{\fldrslt m}}})")
                          << "{m|a=mailto:a@b.org}";
    QTest::newRow("no heading key") << QByteArray(R"({\rtf1 x})") << "{x|}";
}

void TestRtfReader::attributes()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    const std::optional<AttributedText> text = RtfReader::read(rtf);
    QVERIFY(text);
    QCOMPARE(describe(*text), expected);
    for (const TextRun& run : text->runs())
        QVERIFY(!run.attributes.heading); // sizes, not a heading key, decide headings of rich text
}

void TestRtfReader::declines_data()
{
    QTest::addColumn<QByteArray>("rtf");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not RTF") << QByteArray("hello");
    QTest::newRow("HTML") << QByteArray("<p>x</p>");
    QTest::newRow("missing closing brace") << QByteArray(R"({\rtf1 x)");
    QTest::newRow("truncated inside a group") << QByteArray(R"({\rtf1 {\b x})");
    QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 x\\");
    QTest::newRow("bad hex escape") << QByteArray(R"({\rtf1 \'zz})");
    QTest::newRow("hex escape cut off") << QByteArray("{\\rtf1 \\'4");
    QTest::newRow("control word too long") << "{\\rtf1 \\" + QByteArray(33, 'a') + " x}";
    QTest::newRow("parameter too long") << QByteArray(R"({\rtf1 \fs12345678901 x})");
    QTest::newRow("binary data past the end") << QByteArray(R"({\rtf1 {\pict\bin999 ab}})");
    QTest::newRow("binary without length") << QByteArray(R"({\rtf1 \bin x})");
    QTest::newRow("minus without digits") << QByteArray(R"({\rtf1 \li- x})");
}

void TestRtfReader::declines()
{
    QFETCH(QByteArray, rtf);
    QVERIFY(!RtfReader::read(rtf).has_value());
}

void TestRtfReader::limits_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<bool>("reads");

    const QByteArray head = "{\\rtf1 ";
    QTest::newRow("8 MiB") << head + QByteArray(8 * 1024 * 1024 - head.size() - 1, 'a') + "}" << true;
    QTest::newRow("8 MiB + 1") << head + QByteArray(8 * 1024 * 1024 - head.size(), 'a') + "}" << false;
    QTest::newRow("256 groups deep") << head + QByteArray(255, '{') + "x" + QByteArray(256, '}') << true;
    QTest::newRow("257 groups deep") << head + QByteArray(256, '{') + "x" + QByteArray(257, '}') << false;
    QTest::newRow("500,000 runs") << head + QByteArray("\\b a\\b0 b").repeated(250000) + "}" << true;
    QTest::newRow("500,001 runs") << head + QByteArray("\\b a\\b0 b").repeated(250000) + "\\b c}" << false;
    QTest::newRow("many fonts") << head + "{\\fonttbl" + QByteArray("{\\f1\\fmodern M;}").repeated(10000) + "}x}"
                                << true;
    QTest::newRow("many code pages") << head + QByteArray("\\ansicpg1\\'e9\\ansicpg2\\'e9").repeated(20000) + "}"
                                     << true;
}

void TestRtfReader::limits()
{
    QFETCH(QByteArray, rtf);
    QFETCH(bool, reads);
    QCOMPARE(RtfReader::read(rtf).has_value(), reads);
}

void TestRtfReader::rtfdGivesNothing()
{
    QVERIFY(!RtfReader::readRtfd(QByteArray("rtfd\0\0\0\0", 8)).has_value());
    QVERIFY(!RtfReader::readRtfd(R"({\rtf1 x})").has_value());
}

TESSELLON_TEST_MAIN(TestRtfReader)
#include "tst_RtfReader.moc"
