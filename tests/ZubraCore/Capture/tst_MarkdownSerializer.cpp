#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include "support/TestMain.h"

#include <QTest>

// Attributes of rich text as a word processor gives them: no heading key.
static TextAttributes rich(double size, bool bold = false, bool italic = false)
{
    TextAttributes a;
    a.font = TextFont {QStringLiteral("Helvetica"), QStringLiteral("Helvetica"), size, bold, italic, false};
    a.paragraphStyle = TextParagraphStyle {};
    return a;
}

static TextAttributes withLists(TextAttributes a, QList<TextListMarker> markers, double indent = 0)
{
    TextParagraphStyle style;
    for (TextListMarker m : markers)
        style.textLists.append(TextList {m});
    style.firstLineHeadIndent = indent;
    a.paragraphStyle = style;
    return a;
}

static TextAttributes withIndent(TextAttributes a, double indent)
{
    a.paragraphStyle = TextParagraphStyle {{}, indent};
    return a;
}

static TextAttributes withLink(TextAttributes a, const QString& target, bool isUrl)
{
    a.link = TextLink {target, isUrl};
    return a;
}

struct Fragment
{
    QString text;
    TextAttributes attributes;
};
using Fragments = QList<Fragment>;
Q_DECLARE_METATYPE(Fragments)

static AttributedText build(const Fragments& fragments)
{
    AttributedText text;
    for (const Fragment& fragment : fragments)
        text.append(fragment.text, fragment.attributes);
    return text;
}

class TestMarkdownSerializer : public QObject
{
    Q_OBJECT

private slots:
    void fromHtml_data();
    void fromHtml();
    void fromRichText_data();
    void fromRichText();
    void headingFromSize_data();
    void headingFromSize();
    void bodySize_data();
    void bodySize();
    void monospace_data();
    void monospace();
    void escaping();
    void manyParagraphs();
};

void TestMarkdownSerializer::fromHtml_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("heading then paragraph") << QByteArray("<h2>Title</h2><p>Body</p>") << "## Title\nBody";
    QTest::newRow("heading after a line gets one empty line")
        << QByteArray("<p>Intro</p><h1>T</h1><p>x</p>") << "Intro\n\n# T\nx";
    QTest::newRow("heading after an empty line gets no second one")
        << QByteArray("<pre>a\n\n</pre><h3>T</h3>") << "`a`\n\n### T";
    QTest::newRow("bullets nested in numbers")
        << QByteArray("<ol><li>one<ul><li>inner</li><li>more</li></ul></li><li>two</li></ol>")
        << "1. one\n  - inner\n  - more\n1. two";
    QTest::newRow("quote on every line") << QByteArray("<blockquote>q1<br>q2</blockquote>") << "> q1\n> q2";
    QTest::newRow("indented list item is a list item")
        << QByteArray("<blockquote><ul><li>x</li></ul></blockquote>") << "- x";
    QTest::newRow("code with backtick") << QByteArray("a <code>b`c</code>") << "a ``b\\`c``";
    QTest::newRow("neighbouring code runs form one span")
        << QByteArray("<code>python<em>X</em>.<em>Y</em></code> and <code>a</code><kbd>`</kbd>")
        << "`pythonX.Y` and ``a\\```";
    QTest::newRow("definition list items end lines")
        << QByteArray("<dl><dt>Table of Contents</dt><dd>1. Introduction</dd><dd>2. Users</dd></dl>")
        << "Table of Contents\n1. Introduction\n2. Users";
    QTest::newRow("preformatted lines") << QByteArray("<pre>  a\n b\nc</pre>") << "`  a`\n` b`\n`c`";
    QTest::newRow("bold in heading plain") << QByteArray("<h3>a <b>b*</b></h3>") << "### a b\\*";
    QTest::newRow("link in heading is text") << QByteArray("<h1><a href='https://x.org'>t</a></h1>") << "# t";
    QTest::newRow("bold then plain") << QByteArray("<b>bold</b> plain") << "**bold** plain";
    QTest::newRow("adjacent bold runs merge") << QByteArray("<b>a</b><b>b</b>") << "**ab**";
    QTest::newRow("bold italic") << QByteArray("<b><i>x</i></b>") << "***x***";
    QTest::newRow("italic") << QByteArray("<em>x</em>") << "*x*";
    QTest::newRow("link") << QByteArray("<a href='https://x.org'>t</a>") << "[t](https://x.org)";
    QTest::newRow("bold link") << QByteArray("<a href='https://x.org'><b>t</b></a>") << "[**t**](https://x.org)";
    QTest::newRow("mail link") << QByteArray("<a href='mailto:a@b.org'>mail</a>") << "[mail](mailto:a@b.org)";
    QTest::newRow("unsafe link is text") << QByteArray("<a href='javascript:x'>t</a>") << "t";
    QTest::newRow("table") << QByteArray("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>") << "a b\nc";
    QTest::newRow("runs of empty lines collapse") << QByteArray("<pre>a\n\n\n\nb</pre>") << "`a`\n\n`b`";
    QTest::newRow("leading and trailing empty lines vanish") << QByteArray("<pre>\n\na\n\n</pre>") << "`a`";
    QTest::newRow("hash and angle bracket not escaped") << QByteArray("# not &gt; heading") << "# not > heading";
    QTest::newRow("CR LF inside pre") << QByteArray("<pre>a\r\nb</pre>") << "`a`\n`b`";
}

void TestMarkdownSerializer::fromHtml()
{
    QFETCH(QByteArray, html);
    QFETCH(QString, markdown);
    const std::optional<AttributedText> text = OfflineHTMLConverter::convert(html);
    QVERIFY(text);
    QCOMPARE(MarkdownSerializer::convert(*text), markdown);
}

void TestMarkdownSerializer::fromRichText_data()
{
    QTest::addColumn<Fragments>("fragments");
    QTest::addColumn<QString>("markdown");

    const TextAttributes body = rich(12);
    QTest::newRow("empty") << Fragments {} << "";
    // Without fonts the body is 12: a quote needs an indent of 16.8.
    QTest::newRow("no font, indent 17") << Fragments {{"q", withIndent(TextAttributes {}, 17)}} << "> q";
    QTest::newRow("no font, indent 16.5") << Fragments {{"q", withIndent(TextAttributes {}, 16.5)}} << "q";
    QTest::newRow("embedded marker replaced")
        << Fragments {{QStringLiteral("\t\u2022\tItem\n"), withLists(body, {TextListMarker::Disc})}} << "- Item";
    QTest::newRow("two embedded markers in a nested list")
        << Fragments {{QStringLiteral("\t\u2022\tA\n"), withLists(body, {TextListMarker::Decimal})},
               {QStringLiteral("\t\u25E6\t\t\u25E6\tB\n"),
                   withLists(body, {TextListMarker::Decimal, TextListMarker::Circle})}}
        << "1. A\n  - B";
    QTest::newRow("blank before the tab is not a marker")
        << Fragments {{QStringLiteral(" \tItem\n"), withLists(body, {TextListMarker::Disc})}}
        << QStringLiteral("-  \tItem");
    QTest::newRow("indent makes a quote") << Fragments {{"q", withIndent(body, 24)}} << "> q";
    QTest::newRow("indent below 1.4 body is no quote")
        << Fragments {{"x\n", body}, {"q", withIndent(body, 16)}} << "x\nq";
    QTest::newRow("indent below 8 is no quote") << Fragments {{"q", withIndent(rich(4), 7)}} << "q";
    QTest::newRow("indented list item is not a quote")
        << Fragments {{"x", withLists(body, {TextListMarker::Disc}, 36)}} << "- x";
    QTest::newRow("paragraph separators")
        << Fragments {{QStringLiteral("a\rb\r\nc\u2029d\u2028e\nf"), body}} << QStringLiteral("a\nb\nc\nd\u2028e\nf");
    QTest::newRow("leading spaces stay, trailing go") << Fragments {{"x\n  a  \nb", body}} << "x\n  a\nb";
    QTest::newRow("emphasis wraps the run exactly")
        << Fragments {{"a", body}, {" b ", rich(12, true)}, {"c", body}} << "a** b **c";
    QTest::newRow("URL link of any scheme kept")
        << Fragments {{"t", withLink(body, "ftp://x.org", true)}} << "[t](ftp://x.org)";
    QTest::newRow("string link with scheme kept")
        << Fragments {{"t", withLink(body, "HTTP://x.org", false)}} << "[t](HTTP://x.org)";
    QTest::newRow("string link without :// dropped")
        << Fragments {{"t", withLink(body, "mailto:a@b.org", false)}} << "t";
    // Only the first 120 UTF-16 units of a paragraph are measured for a heading.
    QTest::newRow("large run at unit 119 makes a heading")
        << Fragments {{QString(119, u'x'), body}, {"Y", rich(24)}, {"\nb", body}} << "# " + QString(119, u'x') + "Y\nb";
    QTest::newRow("large run at unit 120 is not measured")
        << Fragments {{QString(120, u'x'), body}, {"Y", rich(24)}, {"\nb", body}} << QString(120, u'x') + "Y\nb";
    TextAttributes deep = body;
    deep.heading = 9;
    QTest::newRow("heading key above six used as it is")
        << Fragments {{"Deep\n", deep}, {"b", body}} << "######### Deep\nb";
    QTest::newRow("space-only paragraph is empty") << Fragments {{"a\n   \n\n\nb", body}} << "a\n\nb";
}

void TestMarkdownSerializer::fromRichText()
{
    QFETCH(Fragments, fragments);
    QFETCH(QString, markdown);
    QCOMPARE(MarkdownSerializer::convert(build(fragments)), markdown);
}

void TestMarkdownSerializer::headingFromSize_data()
{
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("markdown");

    QTest::newRow("21.6 over 12 (1.8)") << 21.6 << "# Title\nbody **bold**";
    QTest::newRow("17 over 12") << 17.0 << "## Title\nbody **bold**";
    QTest::newRow("14.4 over 12 (1.2)") << 14.4 << "### Title\nbody **bold**";
    QTest::newRow("14 over 12") << 14.0 << "Title\nbody **bold**";
}

void TestMarkdownSerializer::headingFromSize()
{
    QFETCH(double, size);
    QFETCH(QString, markdown);
    // Two 12 pt font runs against one at the heading size: 12 is the body.
    const AttributedText text = build({{"Title\n", rich(size)}, {"body ", rich(12)}, {"bold", rich(12, true)}});
    QCOMPARE(MarkdownSerializer::convert(text), markdown);
}

void TestMarkdownSerializer::bodySize_data()
{
    QTest::addColumn<Fragments>("fragments");
    QTest::addColumn<double>("body");

    QTest::newRow("no fonts") << Fragments {{"x", TextAttributes {}}} << 12.0;
    QTest::newRow("tie takes the smallest") << Fragments {{"a", rich(14)}, {"b", rich(10)}} << 10.0;
    QTest::newRow("most frequent wins") << Fragments {{"a", rich(14)}, {"b", rich(14, true)}, {"c", rich(10)}} << 14.0;
    QTest::newRow("half rounds away from zero") << Fragments {{"a", rich(12.5)}} << 13.0;
    QTest::newRow("below half rounds down") << Fragments {{"a", rich(12.49)}} << 12.0;
    // Runs that differ only in their link share one font run.
    QTest::newRow("font runs, not attribute runs") << Fragments {{"a", rich(16)},
        {"b", withLink(rich(16), "https://x.org", true)}, {"c", rich(16)}, {"d", rich(12)}, {"e", rich(12, true)}}
                                                   << 12.0;
}

void TestMarkdownSerializer::bodySize()
{
    QFETCH(Fragments, fragments);
    QFETCH(double, body);
    QCOMPARE(MarkdownSerializer::estimateBodySize(build(fragments)), body);
}

void TestMarkdownSerializer::monospace_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("trait");
    QTest::addColumn<bool>("monospace");

    QTest::newRow("Menlo by name") << ""
                                   << "Menlo-Regular" << false << true;
    QTest::newRow("Fira Code by family") << "Fira Code"
                                         << "FiraCode-Retina" << false << true;
    QTest::newRow("mono in the name") << "Liberation"
                                      << "LiberationMono-Bold" << false << true;
    QTest::newRow("trait") << "Lucida Console"
                           << "LucidaConsole" << true << true;
    QTest::newRow("proportional") << "Helvetica"
                                  << "Helvetica-Bold" << false << false;
    QTest::newRow("family case ignored") << "CONSOLAS"
                                         << "x" << false << true;
}

void TestMarkdownSerializer::monospace()
{
    QFETCH(QString, family);
    QFETCH(QString, name);
    QFETCH(bool, trait);
    QFETCH(bool, monospace);
    QCOMPARE(MarkdownSerializer::isMonospace(TextFont {family, name, 12, false, false, trait}), monospace);
}

void TestMarkdownSerializer::escaping()
{
    QCOMPARE(MarkdownSerializer::escapedPlain(u"*a* _b_ `c` [d] \\e # f > g - 1. +"),
        QStringLiteral("\\*a\\* \\_b\\_ \\`c\\` \\[d\\] \\\\e # f > g - 1. +"));
}

void TestMarkdownSerializer::manyParagraphs()
{
    // Every paragraph finds its own runs: alternating styles over many lines.
    AttributedText text;
    QString expected;
    for (int k = 0; k < 2000; ++k) {
        const QString word = QString::number(k);
        text.append(word + u'\n', rich(12, k % 2 == 1));
        expected += (k % 2 == 1 ? QStringLiteral("**") + word + QStringLiteral("**") : word) + u'\n';
    }
    QCOMPARE(MarkdownSerializer::convert(text), expected.trimmed());
}

TESSELLON_TEST_MAIN(TestMarkdownSerializer)
#include "tst_MarkdownSerializer.moc"
