#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include "RichTextDescribe.h"
#include "support/TestMain.h"

#include <QTest>

class TestOfflineHTMLConverter : public QObject
{
    Q_OBJECT

private slots:
    void converts_data();
    void converts();
    void declines_data();
    void declines();
    void limits_data();
    void limits();
    void fonts();
    void entities_data();
    void entities();
    void safeLinks_data();
    void safeLinks();
};

static const QString nothing = QStringLiteral("<nothing>");

static QString outcome(const QByteArray& html)
{
    const std::optional<AttributedText> text = OfflineHTMLConverter::convert(html);
    if (!text)
        return nothing;
    if (!runsAreWellFormed(*text))
        return QStringLiteral("<malformed runs>");
    return describe(*text);
}

void TestOfflineHTMLConverter::converts_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bold then plain, space not bold") << QByteArray("<b>bold</b> plain") << "{bold|b}{ plain|}";
    QTest::newRow("separating space drops emphasis")
        << QByteArray("<strong>a <em>b</em></strong>") << "{a|b}{ |}{b|b,i}";
    QTest::newRow("adjacent equal runs merge") << QByteArray("<b>a</b><b>b</b>") << "{ab|b}";
    QTest::newRow("upper-case tags") << QByteArray("<B>x</B><I>y</I>") << "{x|b}{y|i}";
    QTest::newRow("two paragraphs") << QByteArray("<p>one</p><p>two</p>") << "{one\ntwo\n|}";
    QTest::newRow("two line breaks give one") << QByteArray("a<br><br>b") << "{a\nb|}";
    QTest::newRow("table cells and rows")
        << QByteArray("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>") << "{a b\nc d\n|}";
    QTest::newRow("white space collapses") << QByteArray("  a \n\t b  ") << "{a b|}";
    QTest::newRow("white space after a block vanishes") << QByteArray("<p>a</p>  <p> b</p>") << "{a\nb\n|}";
    QTest::newRow("lone < is text") << QByteArray("a < b") << "{a < b|}";
    QTest::newRow("< at the end is text") << QByteArray("a<") << "{a<|}";
    QTest::newRow("</ without a name is text") << QByteArray("a</ b") << "{a</ b|}";
    QTest::newRow("comment") << QByteArray("a<!-- <b>x</b> -->b") << "{ab|}";
    QTest::newRow("comment opener dashes do not close it") << QByteArray("a<!-->b-->c") << "{ac|}";
    QTest::newRow("doctype") << QByteArray("<!DOCTYPE html><p>x</p>") << "{x\n|}";
    QTest::newRow("processing instruction with quoted >") << QByteArray("<?xml version='1.0>'?>x") << "{x|}";
    QTest::newRow("character data section") << QByteArray("<![CDATA[ a > b ]]>c") << "{c|}";
    QTest::newRow("head and title hidden") << QByteArray("<head><title>T</title></head><p>x</p>") << "{x\n|}";
    QTest::newRow("script with < skipped") << QByteArray("<script>if (a<b) x()</script>y") << "{y|}";
    QTest::newRow("script closing tag with space, mixed case") << QByteArray("<style>p{}</STYLE >z") << "{z|}";
    QTest::newRow("script end needs a delimiter") << QByteArray("<script>a</scripts>b</script>c") << "{c|}";
    QTest::newRow("template hidden") << QByteArray("<template>t</template>u") << "{u|}";
    QTest::newRow("self-closing hidden element ignored") << QByteArray("<script/>v") << "{v|}";
    QTest::newRow("tags inside hidden ignored") << QByteArray("<head><b>x</b><title>t</title></head>y") << "{y|}";
    QTest::newRow("link") << QByteArray("<a href=\"https://x.org/a\">x</a>") << "{x|a=https://x.org/a}";
    QTest::newRow("link space not linked")
        << QByteArray("see <a href='https://a.org'>here</a>") << "{see |}{here|a=https://a.org}";
    QTest::newRow("unquoted href") << QByteArray("<a href=https://x.org>t</a>") << "{t|a=https://x.org}";
    QTest::newRow("first href wins") << QByteArray("<a href='https://1.org' HREF='https://2.org'>t</a>")
                                     << "{t|a=https://1.org}";
    QTest::newRow("href entities decoded")
        << QByteArray("<a href='https://x.org/?a=1&amp;b=2'>t</a>") << "{t|a=https://x.org/?a=1&b=2}";
    QTest::newRow("quoted > inside attribute")
        << QByteArray("<a title=\"a>b\" href='mailto:me@x.org'>t</a>") << "{t|a=mailto:me@x.org}";
    QTest::newRow("javascript link dropped") << QByteArray("<a href='javascript:alert(1)'>t</a>") << "{t|}";
    QTest::newRow("relative link dropped") << QByteArray("<a href='/path'>t</a>") << "{t|}";
    QTest::newRow("link with space dropped") << QByteArray("<a href='https://x.org/a b'>t</a>") << "{t|}";
    QTest::newRow("anchor without href switches off outer link")
        << QByteArray("<a href='https://a.org'>x<a>y</a>z</a>") << "{x|a=https://a.org}{y|}{z|a=https://a.org}";
    QTest::newRow("bulleted list, new item closes previous") << QByteArray("<ul><li>a<li>b</ul>") << "{a\nb\n|ul}";
    QTest::newRow("bulleted list nested in numbered")
        << QByteArray("<ol><li>x<ul><li>y</li></ul></li></ol>") << "{x\n|ol}{y\n|ol>ul}";
    QTest::newRow("heading") << QByteArray("<h2>Title</h2><p>Body</p>") << "{Title\n|h2}{Body\n|}";
    QTest::newRow("quote") << QByteArray("<blockquote>q</blockquote>") << "{q\n|q=24}";
    QTest::newRow("preformatted keeps spaces") << QByteArray("<pre>  a\n   b</pre>") << "{  a\n   b\n|m}";
    QTest::newRow("preformatted CR LF still gets a line feed") << QByteArray("<pre>a\r\n</pre>x") << "{a\r\n\n|m}{x|}";
    QTest::newRow("code kbd samp") << QByteArray("<code>x</code> <kbd>y</kbd> <samp>z</samp>")
                                   << "{x|m}{ |}{y|m}{ |}{z|m}";
    QTest::newRow("unknown elements ignored") << QByteArray("<span class=x>a</span><input disabled>b") << "{ab|}";
    QTest::newRow("self-closing formatting undone") << QByteArray("<b/>x") << "{x|}";
    QTest::newRow("paragraph ends what was opened in it") << QByteArray("<p><b>a<p>b") << "{a\n|b}{b|}";
    QTest::newRow("unmatched closing tag ignored") << QByteArray("</i>a</b>") << "{a|}";
    QTest::newRow("nbsp collapses outside pre") << QByteArray("a&nbsp;&nbsp;b") << "{a b|}";
    QTest::newRow("nbsp kept inside pre") << QByteArray("<pre>a&nbsp;b</pre>") << QStringLiteral("{a\u00A0b\n|m}");
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFhi") << "{hi|}";
    QTest::newRow("U+2028 is white space") << QByteArray("a\xE2\x80\xA8 b") << "{a b|}";
    QTest::newRow("prepended space is not white space") << QByteArray("a\xD8\x80 b") << QStringLiteral("{a\u0600 b|}");
    QTest::newRow("space with spacing mark is white space") << QByteArray("a \xE0\xA4\xBE"
                                                                          "b  \xE2\x80\x8D"
                                                                          "c")
                                                            << "{a b c|}";
    QTest::newRow("tab does not take a combining mark") << QByteArray("a\t\xCC\x81"
                                                                      "b")
                                                        << QStringLiteral("{a \u0301b|}");
    QTest::newRow("space with combining mark is white space") << QByteArray("a \xCC\x81"
                                                                            "b")
                                                              << "{a b|}";
}

void TestOfflineHTMLConverter::converts()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, expected);
    QCOMPARE(outcome(html), expected);
}

void TestOfflineHTMLConverter::declines_data()
{
    QTest::addColumn<QByteArray>("html");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("white space only") << QByteArray(" \n\t ");
    QTest::newRow("tags only") << QByteArray("<p> </p><b></b><br>");
    QTest::newRow("tag that never ends") << QByteArray("a <b");
    QTest::newRow("digit starts a tag name") << QByteArray("a <3 b");
    QTest::newRow("tag ends after its name") << QByteArray("x<br");
    QTest::newRow("unclosed quoted value") << QByteArray("x<a href='https://x.org>t</a>");
    QTest::newRow("quote as last byte") << QByteArray("x<a href='");
    QTest::newRow("unterminated comment") << QByteArray("a <!-- x");
    QTest::newRow("unterminated declaration") << QByteArray("a <!x");
    QTest::newRow("declaration closed only inside brackets") << QByteArray("a <![ > x");
    QTest::newRow("unterminated processing instruction") << QByteArray("a <?x '>' ");
    QTest::newRow("only head text") << QByteArray("<head>x</head>");
    QTest::newRow("only title text") << QByteArray("<title>only</title>");
    QTest::newRow("only script text") << QByteArray("<script>x</script>");
    QTest::newRow("only style text") << QByteArray("<style>x</style>");
    QTest::newRow("only template text") << QByteArray("<template>x</template>");
    QTest::newRow("head left open") << QByteArray("<head>x");
    QTest::newRow("script without end") << QByteArray("<script>x</script");
    QTest::newRow("script end tag broken") << QByteArray("<script>x</script a='>y");
    QTest::newRow("invalid UTF-8") << QByteArray("ab\xFF");
    QTest::newRow("overlong UTF-8") << QByteArray("a\xC0\xAF");
    QTest::newRow("UTF-8 surrogate") << QByteArray("a\xED\xA0\x80");
    QTest::newRow("UTF-8 cut off at the end") << QByteArray("<p>ab</p>\xE2\x80");
    QTest::newRow("UTF-8 lead byte at the end") << QByteArray("ab\xF0");
}

void TestOfflineHTMLConverter::declines()
{
    QFETCH(QByteArray, html);
    QCOMPARE(outcome(html), nothing);
}

void TestOfflineHTMLConverter::limits_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("converts");

    QTest::newRow("1 MiB") << QByteArray(0x100000, 'a') << true;
    QTest::newRow("1 MiB + 1") << QByteArray(0x100001, 'a') << false;
    QTest::newRow("20,000 tokens") << QByteArray("a<br>").repeated(10000) << true;
    QTest::newRow("20,001 tokens") << QByteArray("a<br>").repeated(10000) + "a" << false;
    QTest::newRow("128 nested b") << QByteArray("<b>").repeated(128) + "x" << true;
    QTest::newRow("129 nested b") << QByteArray("<b>").repeated(129) + "x" << false;
    QTest::newRow("128 nested b, then closed and opened again")
        << QByteArray("<b>").repeated(128) + "x</b><i>y" << true;
    QTest::newRow("hidden element with 127 open") << QByteArray("<b>").repeated(127) + "<head></head>x" << true;
    QTest::newRow("hidden element with 128 open") << QByteArray("<b>").repeated(128) + "<head></head>x" << false;
    QTest::newRow("script with 128 open") << QByteArray("<i>").repeated(128) + "<script></script>x" << false;
    QTest::newRow("long raw text is one token")
        << "<script>" + QByteArray(500000, '<') + "</script>" + QByteArray("a<br>").repeated(9999) << true;
}

void TestOfflineHTMLConverter::limits()
{
    QFETCH(QByteArray, html);
    QFETCH(bool, converts);
    QCOMPARE(OfflineHTMLConverter::convert(html).has_value(), converts);
}

void TestOfflineHTMLConverter::fonts()
{
    const std::optional<AttributedText> text
        = OfflineHTMLConverter::convert("<h1><b>B</b></h1><i>I</i><b><i>BI</i></b><code>C</code><b><code>D</code></b>");
    QVERIFY(text);
    QCOMPARE(text->runs().size(), 6);
    struct Expected
    {
        QString text;
        bool bold, italic, mono;
    };
    const Expected expected[] = {{"B", true, false, false}, {"\n", false, false, false}, {"I", false, true, false},
        {"BI", true, true, false}, {"C", false, false, true}, {"D", true, false, true}};
    for (int k = 0; k < 6; ++k) {
        const TextRun& run = text->runs().at(k);
        QCOMPARE(text->text().mid(run.start, run.length), expected[k].text);
        QVERIFY(run.attributes.font);
        const TextFont& font = *run.attributes.font;
        QCOMPARE(font.pointSize, 12.0); // headings are not enlarged
        QCOMPARE(font.bold, expected[k].bold);
        QCOMPARE(font.italic, expected[k].italic);
        QCOMPARE(font.monospaceTrait, expected[k].mono);
        QCOMPARE(font.family, expected[k].mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
        QVERIFY(run.attributes.heading); // every run carries the heading level, 0 included
    }
    QCOMPARE(*text->runs().at(0).attributes.heading, 1);
    QCOMPARE(*text->runs().at(2).attributes.heading, 0);
}

void TestOfflineHTMLConverter::entities_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("hex small x") << "&#x41;"
                                 << "A";
    QTest::newRow("hex capital X") << "&#X41;"
                                   << "A";
    QTest::newRow("decimal") << "&#65;"
                             << "A";
    QTest::newRow("astral") << "&#x1F600;" << QStringLiteral("\U0001F600");
    QTest::newRow("zero stays") << "&#0;"
                                << "&#0;";
    QTest::newRow("surrogate stays") << "&#xD800;"
                                     << "&#xD800;";
    QTest::newRow("above U+10FFFF stays") << "&#x110000;"
                                          << "&#x110000;";
    QTest::newRow("32-bit overflow stays") << "&#4294967361;"
                                           << "&#4294967361;";
    QTest::newRow("empty number stays") << "&#x;&#;"
                                        << "&#x;&#;";
    QTest::newRow("sign not a digit") << "&#+65;"
                                      << "&#+65;";
    QTest::newRow("named") << "&amp;&lt;&gt;&quot;&apos;"
                           << "&<>\"'";
    QTest::newRow("names are case-sensitive") << "&AMP;&Amp;"
                                              << "&AMP;&Amp;";
    QTest::newRow("unknown stays") << "&bogus; & x"
                                   << "&bogus; & x";
    QTest::newRow("not decoded twice") << "&amp;lt;"
                                       << "&lt;";
    QTest::newRow("ampersand before a reference") << "&&amp;"
                                                  << "&&";
    QTest::newRow("32-character name is read") << "&#" + QString(29, u'0') + "65;"
                                               << "A";
    QTest::newRow("33-character name is not") << "&#" + QString(30, u'0') + "65;"
                                              << "&#" + QString(30, u'0') + "65;";
    QTest::newRow("no semicolon") << "&amp x"
                                  << "&amp x";
}

void TestOfflineHTMLConverter::entities()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(OfflineHTMLConverter::decodeEntities(input), expected);
}

void TestOfflineHTMLConverter::safeLinks_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("https upper-case scheme") << "HTTPS://example.org/a?b=c#d" << true;
    QTest::newRow("mailto") << "mailto:someone@example.org" << true;
    QTest::newRow("ftp") << "ftp://example.org" << false;
    QTest::newRow("relative") << "/a/b" << false;
    QTest::newRow("no scheme") << "example.org" << false;
    QTest::newRow("space") << "https://example.org/a b" << false;
    QTest::newRow("line separator") << QStringLiteral("https://example.org/\u2028") << false;
    QTest::newRow("vertical tab") << "https://example.org/\x0B" << false;
    QTest::newRow("parenthesis") << "https://example.org/(a)" << false;
    QTest::newRow("backslash") << "https://example.org\\a" << false;
    QTest::newRow("8,192 bytes") << "https://e.org/" + QString(8192 - 14, u'a') << true;
    QTest::newRow("8,193 bytes") << "https://e.org/" + QString(8193 - 14, u'a') << false;
}

void TestOfflineHTMLConverter::safeLinks()
{
    QFETCH(QString, href);
    QFETCH(bool, allowed);
    const std::optional<QString> link = OfflineHTMLConverter::safeLink(href);
    QCOMPARE(link.has_value(), allowed);
    if (link)
        QCOMPARE(*link, href); // kept exactly as given
}

TESSELLON_TEST_MAIN(TestOfflineHTMLConverter)
#include "tst_OfflineHTMLConverter.moc"
