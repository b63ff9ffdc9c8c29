// Random and mutated HTML and RTF: every input either gives no result or a well-formed one
// within the size limits; nothing crashes or hangs (run under the sanitizers too).

#include "ZubraCore/Capture/MarkdownHtml.h"
#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"
#include "ZubraCore/Capture/RtfReader.h"
#include "ZubraCore/Text/TextMetrics.h"

#include "RichTextDescribe.h"
#include "support/TestMain.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QList<QByteArray> htmlFragments = {"<p>", "</p>", "<b>", "</b>", "<i>", "</i>", "<em>", "<strong>", "<code>",
    "</code>", "<pre>", "</pre>", "<ul>", "</ul>", "<ol>", "</ol>", "<li>", "</li>", "<blockquote>", "</blockquote>",
    "<h1>", "</h2>", "<h6>", "<a href=\"https://x.org/a\">", "<a href='mailto:a@b.org'>", "<a href=javascript:x>",
    "<a>", "</a>", "<br>", "<br/>", "<hr>", "<tr>", "<td>", "</td>", "<th>", "<table>", "<div>", "<span class=x>",
    "<head>", "</head>", "<title>", "</title>", "<script>", "</script>", "<style>", "</style >", "<template>",
    "</template>", "<!--", "-->", "<!DOCTYPE html>", "<!", "<?", "?>", "[", "]", "\"", "'", "<", ">", "/", "=", "&amp;",
    "&lt;", "&#x41;", "&#65;", "&nbsp;", "&#xD800;", "&", ";", "&bogus;", " ", "\n", "\r\n", "\t", "text", "word ", "x",
    "\xC3\xA9", "\xE2\x80\xA8", "\xF0\x9F\x98\x80", "\xCC\x81", "\xFF", "\xC0\xAF", "\xED\xA0\x80", "<3", "</", "<b/",
    "<a href='", "<X-Y:z>", "</SCRIPT>"};

const QList<QByteArray> rtfFragments
    = {"{", "}", "{", "}", "\\par ", "\\b ", "\\b0 ", "\\i ", "\\i0", "\\plain ", "\\fs48 ", "\\fs", "\\f0 ", "\\f1 ",
        "\\u8226 ", "\\u-10179?", "\\u-8704?", "\\u55357 ", "\\uc0 ", "\\uc2 ", "\\'e9", "\\'82\\'a0", "\\'", "\\'zz",
        "\\*", "{\\fonttbl{\\f0\\fswiss Helvetica;}{\\f1\\fmodern\\fcharset128 Mono;}}", "\\fonttbl", "\\fmodern",
        "\\fcharset", "\\ansicpg1251 ", "\\ansicpg932 ", "\\mac ", "\\deff1 ", "\\bin3 ", "\\bin", "{\\pict ab01}",
        "{\\field{\\*\\fldinst{HYPERLINK \"https://x.org\"}}{\\fldrslt{", "\\field", "\\fldinst", "\\fldrslt",
        "HYPERLINK \"", "{\\*\\listtable{\\list{\\listlevel\\levelnfc23}\\listid7}}",
        "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}}", "\\list", "\\listlevel", "\\levelnfc0",
        "\\listoverride", "\\ls1 ", "\\ls", "\\ilvl1 ", "\\ilvl", "\\li720 ", "\\fi-360 ", "\\pard ",
        "{\\listtext\\tab ", "{\\pntext 1.\\tab}", "{\\*\\pn\\pndec}", "\\tab ", "\\line ", "\\~", "\\{", "\\}", "\\\\",
        "\\-", "\\\n", "text ", "word", " ", "\r\n", "\t", "\xE9", "\x82\xA0", "\x00", "-", "0", "9999999999", "\\"};

QByteArray randomFrom(QRandomGenerator& random, const QList<QByteArray>& fragments, int count)
{
    QByteArray out;
    for (int k = 0; k < count; ++k)
        out += fragments.at(random.bounded(int(fragments.size())));
    return out;
}

QByteArray mutate(QRandomGenerator& random, QByteArray input)
{
    const int edits = 1 + random.bounded(8);
    for (int e = 0; e < edits && !input.isEmpty(); ++e) {
        const int at = random.bounded(int(input.size()));
        switch (random.bounded(5)) {
        case 0: // flip a byte
            input[at] = char(random.bounded(256));
            break;
        case 1: // delete a slice
            input.remove(at, random.bounded(1, 16));
            break;
        case 2: // insert a random byte
            input.insert(at, char(random.bounded(256)));
            break;
        case 3: // duplicate a slice
            input.insert(at, input.mid(at, random.bounded(1, 64)));
            break;
        default: // cut off the end
            input.truncate(at);
            break;
        }
    }
    return input;
}

const QByteArray htmlSeed = "<!DOCTYPE html><html><head><title>T</title><style>p{}</style></head><body>"
                            "<h1>Title</h1><p>Some <b>bold</b>, <i>italic</i> and <a href=\"https://x.org\">a "
                            "link</a>.</p><ul><li>one<li>two<ol><li>inner</ol></ul><blockquote>quoted</blockquote>"
                            "<pre>  code\n  more</pre><table><tr><td>a<td>b</tr></table><!-- note -->&copy; 2024"
                            "<script>if (a<b) {}</script></body></html>";

const QByteArray rtfSeed
    = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}{\\f1\\fmodern Courier;}}"
      "{\\colortbl;\\red0\\green0\\blue0;}{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ;}}"
      "\\listid1}}{\\*\\listoverridetable{\\listoverride\\listid1\\ls1}}\\f0\\fs36 Title\\par\\fs24 Some \\b bold"
      "\\b0 and \\i italic\\i0 , {\\f1 code}, caf\\'e9 \\u8364? {\\field{\\*\\fldinst{HYPERLINK \"https://x.org\"}}"
      "{\\fldrslt link}}\\par\\pard\\li720\\fi-360\\ls1\\ilvl0{\\listtext\\tab \\u8226 \\tab}item\\par"
      "\\pard{\\pict\\bin4 }}}}}\\line end\\par}";

void checkHtml(const QByteArray& input)
{
    const std::optional<AttributedText> text = OfflineHTMLConverter::convert(input);
    if (!text)
        return;
    QVERIFY2(input.size() <= OfflineHTMLConverter::maxInputBytes, input.toPercentEncoding().constData());
    QVERIFY(runsAreWellFormed(*text));
    QVERIFY(!text->text().trimmed().isEmpty());
    // Every byte gives at most one character, every tag at most one separator.
    QVERIFY(text->length() <= 2 * input.size());
    for (const TextRun& run : text->runs()) {
        QVERIFY(run.attributes.font && run.attributes.paragraphStyle && run.attributes.heading);
        QVERIFY(run.attributes.paragraphStyle->textLists.size() < OfflineHTMLConverter::maxOpenFrames);
        if (run.attributes.link)
            QVERIFY(OfflineHTMLConverter::safeLink(run.attributes.link->target).has_value());
    }
    const QString markdown = MarkdownSerializer::convert(*text);
    QVERIFY(markdown == markdown.trimmed());
    if (!markdown.isEmpty())
        QVERIFY(MarkdownHtml::htmlDocument(markdown).has_value());
}

void checkRtf(const QByteArray& input)
{
    const std::optional<AttributedText> text = RtfReader::read(input);
    if (!text)
        return;
    QVERIFY(runsAreWellFormed(*text));
    // No escape yields more characters than it has bytes.
    QVERIFY(text->length() <= input.size());
    for (const TextRun& run : text->runs()) {
        QVERIFY(run.attributes.font && run.attributes.paragraphStyle && !run.attributes.heading);
        if (run.attributes.link)
            QVERIFY(OfflineHTMLConverter::safeLink(run.attributes.link->target).has_value());
    }
    const QString markdown = MarkdownSerializer::convert(*text);
    QVERIFY(markdown == markdown.trimmed());
}

} // namespace

class TestRichTextRobustness : public QObject
{
    Q_OBJECT

private slots:
    void randomHtml();
    void mutatedHtml();
    void randomRtf();
    void mutatedRtf();
    void pathological_data();
    void pathological();
    void whitespaceFollowsClusters();
    void randomMarkdown();
};

void TestRichTextRobustness::randomHtml()
{
    QRandomGenerator random(20240601);
    int converted = 0;
    for (int k = 0; k < 3000; ++k) {
        const QByteArray input = randomFrom(random, htmlFragments, random.bounded(1, 200));
        checkHtml(input);
        if (QTest::currentTestFailed())
            QFAIL(("input: " + input.toPercentEncoding()).constData());
        converted += OfflineHTMLConverter::convert(input).has_value();
    }
    QVERIFY(converted > 0); // the generator does reach the converter's output
}

void TestRichTextRobustness::mutatedHtml()
{
    QRandomGenerator random(77);
    QVERIFY(OfflineHTMLConverter::convert(htmlSeed).has_value());
    for (int k = 0; k < 3000; ++k) {
        const QByteArray input = mutate(random, htmlSeed);
        checkHtml(input);
        if (QTest::currentTestFailed())
            QFAIL(("input: " + input.toPercentEncoding()).constData());
    }
}

void TestRichTextRobustness::randomRtf()
{
    QRandomGenerator random(4242);
    int read = 0;
    for (int k = 0; k < 3000; ++k) {
        QByteArray input = "{\\rtf1 " + randomFrom(random, rtfFragments, random.bounded(1, 200));
        if (random.bounded(2))
            input += QByteArray(input.count('{'), '}');
        checkRtf(input);
        if (QTest::currentTestFailed())
            QFAIL(("input: " + input.toPercentEncoding()).constData());
        read += RtfReader::read(input).has_value();
    }
    QVERIFY(read > 0);
}

void TestRichTextRobustness::mutatedRtf()
{
    QRandomGenerator random(99);
    QVERIFY(RtfReader::read(rtfSeed).has_value());
    for (int k = 0; k < 3000; ++k) {
        const QByteArray input = mutate(random, rtfSeed);
        checkRtf(input);
        if (QTest::currentTestFailed())
            QFAIL(("input: " + input.toPercentEncoding()).constData());
    }
}

void TestRichTextRobustness::pathological_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QByteArray>("rtf");

    QTest::newRow("deep nesting") << QByteArray("<b>").repeated(100000) << QByteArray("{").repeated(100000);
    QTest::newRow("open brackets") << "<!" + QByteArray(500000, '[') << "{\\rtf1 " + QByteArray(500000, '\\');
    QTest::newRow("ampersands") << QByteArray(1000000, '&') << "{\\rtf1" + QByteArray("\\'41").repeated(200000) + "}";
    QTest::newRow("unterminated attribute") << "x<a href='" + QByteArray(1000000, 'x')
                                            << "{\\rtf1 {\\*\\fldinst HYPERLINK \"" + QByteArray(1000000, 'x') + "}}";
    QTest::newRow("many lists") << QByteArray("<ul><li>").repeated(63) + "x"
                                << "{\\rtf1 " + QByteArray("{\\*\\listtable{\\list{\\listlevel}}}").repeated(5000)
            + "}";
    QTest::newRow("script search") << "<script>" + QByteArray("</scrip").repeated(100000)
                                   << "{\\rtf1 " + QByteArray("\\u65 ").repeated(100000) + "}";
}

void TestRichTextRobustness::pathological()
{
    QFETCH(QByteArray, html);
    QFETCH(QByteArray, rtf);
    checkHtml(html);
    checkRtf(rtf);
}

// White space collapses by grapheme cluster: a cluster whose first scalar is white space is
// white space, combining marks and all. Checked against a plain walk over the clusters.
void TestRichTextRobustness::whitespaceFollowsClusters()
{
    const QStringList alphabet
        = {QStringLiteral(" "), QStringLiteral("\t"), QStringLiteral("\n"), QStringLiteral("\r\n"),
            QStringLiteral("\u00A0"), QStringLiteral("\u2028"), QStringLiteral("\u3000"), QStringLiteral("\u1680"),
            QStringLiteral("\u0301"), QStringLiteral("\u093E"), QStringLiteral("\u200D"), QStringLiteral("\u0600"),
            QStringLiteral("a"), QStringLiteral("\u00E9"), QStringLiteral("\U0001F600"), QStringLiteral("\u0915")};
    QRandomGenerator random(5);
    for (int k = 0; k < 8000; ++k) {
        QString input;
        const int length = random.bounded(1, 16);
        for (int j = 0; j < length; ++j)
            input += alphabet.at(random.bounded(int(alphabet.size())));

        QString expected;
        bool pending = false;
        const QList<qsizetype> bounds = TextMetrics::boundaries(input);
        for (qsizetype b = 0; b + 1 < bounds.size(); ++b) {
            const QStringView cluster = QStringView(input).mid(bounds[b], bounds[b + 1] - bounds[b]);
            const char32_t first = cluster.toUcs4().value(0);
            if (QChar::isSpace(first)) {
                pending = true;
                continue;
            }
            if (pending && !expected.isEmpty())
                expected += u' ';
            pending = false;
            expected += cluster;
        }

        const std::optional<AttributedText> text = OfflineHTMLConverter::convert(input.toUtf8());
        const QString actual = text ? text->text() : QString();
        if (actual != expected)
            QFAIL(("input " + input.toUtf8().toPercentEncoding() + " gave " + actual.toUtf8().toPercentEncoding()
                + ", expected " + expected.toUtf8().toPercentEncoding())
                      .constData());
    }
}

void TestRichTextRobustness::randomMarkdown()
{
    const QStringList fragments = {"#", "## ", " ", "\n", "\n\n", "*", "**", "_", "`", "```", "[", "]", "(", ")",
        "https://x.org", ">", "- ", "1. ", "|", "---", "<", "<script>", "<div>", "&amp;", "\\", "~~", "text", "\t",
        "    ", QStringLiteral("\u00E9"), QStringLiteral("\u0000"), "<!--", "-->"};
    QRandomGenerator random(11);
    for (int k = 0; k < 3000; ++k) {
        QString markdown;
        const int count = random.bounded(1, 120);
        for (int j = 0; j < count; ++j)
            markdown += fragments.at(random.bounded(int(fragments.size())));
        const std::optional<QByteArray> html = MarkdownHtml::htmlDocument(markdown);
        QVERIFY(html);
        QVERIFY(html->startsWith("<!DOCTYPE html>"));
        QVERIFY(html->endsWith("</body>\n</html>\n"));
        const QByteArray body = html->mid(html->indexOf("<body>"));
        if (body.contains("<script") || body.contains("<div") || body.contains("<!--"))
            QFAIL(("raw markup passed through for " + markdown.toUtf8().toPercentEncoding()).constData());
    }
}

TESSELLON_TEST_MAIN(TestRichTextRobustness)
#include "tst_RichTextRobustness.moc"
