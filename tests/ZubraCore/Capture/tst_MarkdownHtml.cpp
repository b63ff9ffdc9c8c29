#include "ZubraCore/Capture/MarkdownHtml.h"

#include "support/TestMain.h"

#include <QTest>

class TestMarkdownHtml : public QObject
{
    Q_OBJECT

private slots:
    void renders_data();
    void renders();
    void emptyGivesNothing();
    void completeDocument();
};

void TestMarkdownHtml::renders_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QByteArray>("contains");
    QTest::addColumn<QByteArray>("absent");

    QTest::newRow("heading and emphasis")
        << "# Title\n\nsome **bold** and *it*"
        << QByteArray("<h1>Title</h1>\n<p>some <strong>bold</strong> and <em>it</em></p>") << QByteArray("**");
    QTest::newRow("nested list") << "- one\n  - inner\n- two"
                                 << QByteArray("<ul>\n<li>one<ul>\n<li>inner</li>\n</ul>\n</li>\n<li>two</li>\n</ul>")
                                 << QByteArray();
    QTest::newRow("quote") << "> q1\n> q2" << QByteArray("<blockquote>\n<p>q1\nq2</p>\n</blockquote>") << QByteArray();
    QTest::newRow("code span with backtick") << "a ``b\\`c``" << QByteArray("<code>b\\`c</code>") << QByteArray();
    QTest::newRow("link") << "[t](https://x.org/?a=1&b=2)" << QByteArray("<a href=\"https://x.org/?a=1&amp;b=2\">t</a>")
                          << QByteArray();
    QTest::newRow("escapes") << "\\*a\\* \\[b\\]" << QByteArray("<p>*a* [b]</p>") << QByteArray("\\");
    QTest::newRow("raw HTML stays text") << "<script>alert(1)</script> <b>x</b>"
                                         << QByteArray("&lt;script&gt;alert(1)&lt;/script&gt; &lt;b&gt;x&lt;/b&gt;")
                                         << QByteArray("<script>");
    QTest::newRow("raw HTML block stays text")
        << "<div onclick=\"x\">\nhi\n</div>" << QByteArray("&lt;div") << QByteArray("<div");
    QTest::newRow("script link neutralized")
        << "[x](javascript:alert(1))" << QByteArray("<a href=\"#\">x</a>") << QByteArray("javascript");
    QTest::newRow("upper-case script autolink neutralized")
        << "<JavaScript:alert(1)>" << QByteArray("<a href=\"#\">") << QByteArray("href=\"JavaScript");
    QTest::newRow("data image neutralized")
        << "![i](data:image/png;base64,AAAA)" << QByteArray("<img src=\"#\"") << QByteArray("data:");
    QTest::newRow("entity-hidden scheme neutralized")
        << "[x](jav&#x61;script:alert(1))" << QByteArray("<a href=\"#\">x</a>") << QByteArray("script:");
    QTest::newRow("relative address kept")
        << "[r](/a/b:c?d=e&f=g)" << QByteArray("<a href=\"/a/b:c?d=e&amp;f=g\">r</a>") << QByteArray("href=\"#\"");
    QTest::newRow("mail link kept") << "[m](mailto:a@b.org) [w](HTTPS://x.org)"
                                    << QByteArray("<a href=\"mailto:a@b.org\">m</a> <a href=\"HTTPS://x.org\">w</a>")
                                    << QByteArray("href=\"#\"");
    QTest::newRow("quoted href text is not an address")
        << "say ` href=\"javascript:x\"` and href=\"x:y\"" << QByteArray("href=&quot;javascript:x&quot;")
        << QByteArray("href=\"#\"");
    QTest::newRow("non-ASCII as UTF-8") << QStringLiteral("caf\u00E9 \U0001F600")
                                        << QByteArray("caf\xC3\xA9 \xF0\x9F\x98\x80") << QByteArray();
    QTest::newRow("UTF-8 after an ASCII run, lone surrogate as a question mark")
        << u"abcdefghij"_qs + QChar(0xD800) + u"\u00E9\u20AC\U0001F600"_qs
        << QByteArray("abcdefghij?\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80") << QByteArray();
    QTest::newRow("table") << "| a | b |\n| --- | --- |\n| 1 | 2 |" << QByteArray("<td>1</td>") << QByteArray();
    QTest::newRow("strikethrough") << "~~gone~~" << QByteArray("<del>gone</del>") << QByteArray();
    QTest::newRow("line separator kept") << QStringLiteral("a\u2028b")
                                         << QByteArray("a\xE2\x80\xA8"
                                                       "b")
                                         << QByteArray();
}

void TestMarkdownHtml::renders()
{
    QFETCH(QString, markdown);
    QFETCH(QByteArray, contains);
    QFETCH(QByteArray, absent);
    const std::optional<QByteArray> html = MarkdownHtml::htmlDocument(markdown);
    QVERIFY(html);
    QVERIFY2(html->contains(contains), html->constData());
    if (!absent.isEmpty()) {
        const qsizetype body = html->indexOf("<body>");
        QVERIFY2(!html->mid(body).contains(absent), html->constData());
    }
}

void TestMarkdownHtml::emptyGivesNothing()
{
    QVERIFY(!MarkdownHtml::htmlDocument(QString()).has_value());
}

void TestMarkdownHtml::completeDocument()
{
    const std::optional<QByteArray> html = MarkdownHtml::htmlDocument(QStringLiteral("x"));
    QVERIFY(html);
    QVERIFY(html->startsWith("<!DOCTYPE html>"));
    QVERIFY(html->contains("<meta charset=\"utf-8\">"));
    QVERIFY(html->contains("<body>\n<p>x</p>\n</body>"));
    QVERIFY(html->endsWith("</html>\n"));
    // White space only is still a text: an empty body, not nothing.
    const std::optional<QByteArray> blank = MarkdownHtml::htmlDocument(QStringLiteral("  "));
    QVERIFY(blank);
    QVERIFY(blank->contains("<body>\n</body>"));
}

TESSELLON_TEST_MAIN(TestMarkdownHtml)
#include "tst_MarkdownHtml.moc"
