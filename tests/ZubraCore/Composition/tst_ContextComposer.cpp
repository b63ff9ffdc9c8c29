// Rendering: entry bodies, code detection, source lines, escaping and the three layouts, golden texts.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Text/TextMetrics.h"
#include "support/TestMain.h"

#include <QtTest>

namespace {

Selection selection(const QString& text, const QString& app, std::optional<QString> url = std::nullopt,
    std::optional<QString> title = std::nullopt, std::optional<QString> path = std::nullopt,
    std::optional<QString> markdown = std::nullopt)
{
    return Selection::make(QUuid::createUuid(), text, markdown, app, std::nullopt, url, title, path);
}

// The library the layout cases draw from, by code.
QHash<QString, Selection> library()
{
    static const QHash<QString, Selection> lib = [] {
        QHash<QString, Selection> l;
        l.insert(u"A"_qs, selection(u"Alpha text"_qs, u"Browser"_qs, u"https://a.test/1"_qs, u"Page A"_qs));
        l.insert(u"A2"_qs, selection(u"Alpha two"_qs, u"Browser"_qs, u"https://a.test/1"_qs, u"Other title"_qs));
        l.insert(u"B"_qs, selection(u"Beta text"_qs, u"Editor"_qs, std::nullopt, std::nullopt, u"/docs/b.md"_qs));
        l.insert(u"C"_qs, selection(u"Gamma & <tag>"_qs, u"Notes"_qs));
        l.insert(u"CODE"_qs, selection(u"let x = 1"_qs, u"Editor"_qs));
        l.insert(u"NFC"_qs, selection(u"Composed"_qs, u"Browser"_qs, u"https://caf\u00E9.test"_qs));
        l.insert(u"NFD"_qs, selection(u"Decomposed"_qs, u"Browser"_qs, u"https://cafe\u0301.test"_qs));
        l.insert(u"FILENFC"_qs,
            selection(u"Composed path"_qs, u"Editor"_qs, std::nullopt, std::nullopt, u"/notes/Caf\u00E9 notes.txt"_qs));
        l.insert(u"FILENFD"_qs,
            selection(
                u"Decomposed path"_qs, u"Editor"_qs, std::nullopt, std::nullopt, u"/notes/Cafe\u0301 notes.txt"_qs));
        return l;
    }();
    return lib;
}

// Entry codes: a library code, then flags: ! pinned, ^ note "  check this  ", ~ verbatim custom text
// "\n  kept  \n", - excluded, ? selection missing from the library.
ContextDraft draftOf(const QString& layout, const QString& task, const QStringList& codes)
{
    ContextDraft d;
    d.id = QUuid::createUuid();
    d.task = task;
    d.templateName = layout;
    for (QString code : codes) {
        ContextDraftEntry e;
        e.id = QUuid::createUuid();
        const auto flag = [&](QChar c) {
            const bool has = code.contains(c);
            code.remove(c);
            return has;
        };
        e.pin = flag(u'!');
        if (flag(u'^'))
            e.note = u"  check this  "_qs;
        if (flag(u'~')) {
            e.verbatim = true;
            e.customText = u"\n  kept  \n"_qs;
        }
        e.include = !flag(u'-');
        e.selectionID = flag(u'?') ? QUuid::createUuid() : library().value(code).id;
        d.entries.append(e);
    }
    return d;
}

const QString pageA = u"Page A \u2014 https://a.test/1"_qs;

} // namespace

class TestContextComposer : public QObject
{
    Q_OBJECT

private slots:
    void entryBody_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<bool>("verbatim");
        QTest::addColumn<QVariant>("custom");
        QTest::addColumn<QString>("expected");
        const QVariant none;
        QTest::addRow("prose takes the markdown")
            << u"  Hello world  "_qs << u" **Hello** world\n"_qs << false << none << u"**Hello** world"_qs;
        QTest::addRow("blank markdown takes the text") << u" Hi \n"_qs << u"  "_qs << false << none << u"Hi"_qs;
        QTest::addRow("verbatim keeps the text") << u"  keep  \n"_qs << u"other"_qs << true << none << u"  keep  \n"_qs;
        QTest::addRow("custom text trimmed")
            << u"orig"_qs << u"orig"_qs << false << QVariant(u"  edited \n"_qs) << u"edited"_qs;
        QTest::addRow("blank custom text falls back")
            << u"orig"_qs << u"orig md"_qs << false << QVariant(u"   "_qs) << u"orig md"_qs;
        QTest::addRow("verbatim custom text untrimmed")
            << u"orig"_qs << u"orig"_qs << true << QVariant(u"\n\n  code  \n\n"_qs) << u"\n\n  code  \n\n"_qs;
        QTest::addRow("json fenced") << u"{\"a\": [1, 2]}"_qs << u"x"_qs << false << none
                                     << u"```json\n{\"a\": [1, 2]}\n```"_qs;
        QTest::addRow("swift fenced") << u" let x = foo(bar)\n"_qs << u"x"_qs << false << none
                                      << u"```swift\nlet x = foo(bar)\n```"_qs;
        QTest::addRow("python fenced") << u"def main():\n    return 1"_qs << u"x"_qs << false << none
                                       << u"```python\ndef main():\n    return 1\n```"_qs;
        QTest::addRow("code of no language takes the markdown")
            << u"int main() { return 0; }"_qs << u"  int main() { return 0; }  "_qs << false << none
            << u"int main() { return 0; }"_qs;
        QTest::addRow("custom code fenced")
            << u"prose"_qs << u"prose"_qs << false << QVariant(u" var y = 2 "_qs) << u"```swift\nvar y = 2\n```"_qs;
        QTest::addRow("CR LF kept inside the fence")
            << u"let x = 1\r\nlet y = 2"_qs << u"x"_qs << false << none << u"```swift\nlet x = 1\r\nlet y = 2\n```"_qs;
        // A text that already is one fenced block is not fenced again.
        QTest::addRow("fenced block as it is")
            << u"\n```swift\nlet x = 1\n```\n"_qs << u"x"_qs << false << none << u"```swift\nlet x = 1\n```"_qs;
        QTest::addRow("fenced custom text as it is")
            << u"prose"_qs << u"prose"_qs << false << QVariant(u"```\nlet x = 1\n```"_qs) << u"```\nlet x = 1\n```"_qs;
        // Two blocks are not one: fenced, with a fence longer than the inner ones.
        QTest::addRow("two fenced blocks") << u"```\nlet a = 1\n```\nlet b = 2\n```"_qs << u"x"_qs << false << none
                                           << u"````swift\n```\nlet a = 1\n```\nlet b = 2\n```\n````"_qs;
        QTest::addRow("backtick run inside code")
            << u"let s = \"`````\""_qs << u"x"_qs << false << none << u"``````swift\nlet s = \"`````\"\n``````"_qs;
        QTest::addRow("short backtick runs keep three")
            << u"let s = `a` + ``b``"_qs << u"x"_qs << false << none << u"```swift\nlet s = `a` + ``b``\n```"_qs;
        QTest::addRow("percent signs stay") << u"%1 and %2"_qs << u"%1 and %2"_qs << false << none << u"%1 and %2"_qs;
    }
    void entryBody()
    {
        QFETCH(QString, text);
        QFETCH(QString, markdown);
        QFETCH(bool, verbatim);
        QFETCH(QVariant, custom);
        QFETCH(QString, expected);
        const Selection s = selection(text, u"App"_qs, std::nullopt, std::nullopt, std::nullopt, markdown);
        ContextDraftEntry e;
        e.selectionID = s.id;
        e.verbatim = verbatim;
        if (custom.isValid())
            e.customText = custom.toString();
        QCOMPARE(ContextComposer::entryBody(e, s), expected);
    }

    void looksLikeCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        const QString a15(15, u'a');
        const QString a14(14, u'a');
        QTest::addRow("two characters") << u";;"_qs << false;
        QTest::addRow("balanced brackets") << u"{[ ]}"_qs << true;
        QTest::addRow("one bracket pair") << u"a (b) c"_qs << false;
        QTest::addRow("unbalanced brackets") << u"((a) b"_qs << false;
        // One opening and two closing brackets by characters: "(" with an accent is a letter-like
        // character of its own.
        QTest::addRow("accented bracket is no bracket") << u"{a}(\u0301b)"_qs << false;
        QTest::addRow("accented closing bracket") << u"{(a)}\u0301"_qs << false;
        QTest::addRow("brackets beside accented letters") << u"{e\u0301}(e\u0301)"_qs << true;
        QTest::addRow("emoji cluster beside brackets") << u"[\U0001F44D\U0001F3FD](x)"_qs << true;
        QTest::addRow("arrow") << u"x => y"_qs << true;
        QTest::addRow("semicolon") << u"done;"_qs << true;
        QTest::addRow("semicolon with a mark is no semicolon") << u"done;\u0301"_qs << false;
        QTest::addRow("upper-case marker") << u"RETURN x"_qs << true;
        QTest::addRow("comment after two spaces") << u"x  // note"_qs << true;
        QTest::addRow("comment after one space") << u"x // note"_qs << false;
        QTest::addRow("three long lines") << (a15 + u"\n"_qs + a15 + u"\n"_qs + a15) << false;
        QTest::addRow("four lines of 15") << (a15 + u"\n"_qs + a15 + u"\n\n"_qs + a15 + u"\n"_qs + a15) << true;
        QTest::addRow("four lines of 14") << (a14 + u"\n"_qs + a14 + u"\n"_qs + a14 + u"\n"_qs + a14) << false;
        QTest::addRow("CR LF lines are one line")
            << (a15 + u"\r\n"_qs + a15 + u"\r\n"_qs + a15 + u"\r\n"_qs + a15) << false;
        QTest::addRow("prose") << u"A sentence about cats and dogs."_qs << false;
        QTest::addRow("marker first") << u"=>abc"_qs << true;
        QTest::addRow("marker last") << u"abc::"_qs << true;
        QTest::addRow("marker cut off at the end") << u"we return"_qs << false;
        QTest::addRow("marker after non-ASCII") << u"\u00E9t\u00E9 ;"_qs << true;
        QTest::addRow("marker halves apart") << u"a = > b : : c"_qs << false;
    }
    void looksLikeCode()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(ContextComposer::looksLikeCode(text), expected);
    }

    void detectCodeLanguage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: no language
        QTest::addRow("json object") << u" {\"a\": 1, \"b\": [1]} "_qs << u"json"_qs;
        QTest::addRow("json array without two brackets is no code") << u"[1, 2]"_qs << QString();
        QTest::addRow("json before swift") << u"{\"let \": [1]}"_qs << u"json"_qs;
        QTest::addRow("broken json with let") << u"{\"let \": [1]"_qs << u"swift"_qs;
        QTest::addRow("swift arrow") << u"x -> y;"_qs << u"swift"_qs;
        QTest::addRow("python import") << u"import os;"_qs << u"python"_qs;
        QTest::addRow("python comment") << u"x = 1;\n    # note"_qs << u"python"_qs;
        QTest::addRow("code of no language") << u"int main() { return 0; }"_qs << QString();
        QTest::addRow("empty") << u"  "_qs << QString();
        QTest::addRow("marker after ten lines") << (u"x;\n\nx;\nx;\nx;\nx;\nx;\nx;\nx;\nx;\nx;\nlet y"_qs) << QString();
        QTest::addRow("CR LF lines are one line for the head")
            << (u"x;\r\nx;\r\nx;\r\nx;\r\nx;\r\nx;\r\nx;\r\nx;\r\nx;\r\nx;\r\nlet y"_qs) << u"swift"_qs;
        QTest::addRow("marker on the tenth line") << (u"x;\n\nx;\nx;\nx;\nx;\nx;\nx;\nx;\nx;\nlet y"_qs) << u"swift"_qs;
    }
    void detectCodeLanguage()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ContextComposer::detectCodeLanguage(text).value_or(QString()), expected);
    }

    void sourceLine_data()
    {
        QTest::addColumn<QVariant>("title");
        QTest::addColumn<QVariant>("url");
        QTest::addColumn<QVariant>("path");
        QTest::addColumn<QString>("expected");
        const QVariant none;
        QTest::addRow("title and address") << QVariant(u"  Page  "_qs) << QVariant(u"https://a.test/x"_qs) << none
                                           << u"Page \u2014 https://a.test/x"_qs;
        QTest::addRow("title alone") << QVariant(u"Page"_qs) << none << none << u"Page"_qs;
        QTest::addRow("address alone") << none << QVariant(u"https://a.test/x"_qs) << none << u"https://a.test/x"_qs;
        QTest::addRow("path alone") << none << none << QVariant(u" /p/q.md"_qs) << u" /p/q.md"_qs;
        QTest::addRow("address before path")
            << none << QVariant(u"https://a.test"_qs) << QVariant(u"/p"_qs) << u"https://a.test"_qs;
        QTest::addRow("blank title") << QVariant(u"   "_qs) << none << QVariant(u"/p"_qs) << u"/p"_qs;
        QTest::addRow("empty path is a location")
            << QVariant(u"Doc"_qs) << none << QVariant(u""_qs) << u"Doc \u2014 "_qs;
        QTest::addRow("empty path alone") << none << none << QVariant(u""_qs) << u""_qs;
        QTest::addRow("nothing") << none << none << none << u"TheApp"_qs;
    }
    void sourceLine()
    {
        QFETCH(QVariant, title);
        QFETCH(QVariant, url);
        QFETCH(QVariant, path);
        QFETCH(QString, expected);
        const auto opt
            = [](const QVariant& v) { return v.isValid() ? std::optional<QString>(v.toString()) : std::nullopt; };
        QCOMPARE(
            ContextComposer::sourceLine(selection(u"x"_qs, u"TheApp"_qs, opt(url), opt(title), opt(path))), expected);
    }

    void xmlEscape_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addRow("all four") << u"a & b < c > d \"e\" 'f'"_qs << u"a &amp; b &lt; c &gt; d &quot;e&quot; 'f'"_qs;
        QTest::addRow("entity escaped once") << u"&lt;"_qs << u"&amp;lt;"_qs;
        QTest::addRow("nothing to escape") << u"plain"_qs << u"plain"_qs;
        QTest::addRow("empty") << u""_qs << u""_qs;
    }
    void xmlEscape()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ContextComposer::xmlEscape(text), expected);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QVariant>("preamble");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("entryCount");
        const QVariant none;
        const QVariant standard(ContextComposer::defaultPreamble());
        const QStringList mixed {u"A"_qs, u"B^"_qs, u"A2"_qs};

        QTest::addRow("sections") << u"Sections"_qs << u"  Summarize  "_qs << standard << mixed << true
                                  << (u"# Task\n\nSummarize\n\n# Context\n\n> Use only the information in the sources "
                                      u"below. Cite each source by name.\n\n---\n\n## SOURCE: "_qs
                                         + pageA
                                         + u"\n\nAlpha text\n\nAlpha two\n\n---\n\n## SOURCE: /docs/b.md\n\nBeta "
                                           u"text\n\n_Note: check this_"_qs)
                                  << 3;
        QTest::addRow("xml") << u"XML-tagged"_qs << u"  Summarize  "_qs << standard << mixed << true
                             << (u"<context>\n<task>\nSummarize\n</task>\n<instruction>\nUse only the information in "
                                 u"the sources below. Cite each source by name.\n</instruction>\n<source name=\""_qs
                                    + pageA
                                    + u"\">\nAlpha text\n\nAlpha two\n</source>\n<source name=\"/docs/b.md\">\nBeta "
                                      u"text\n\n(_Note: check this_)\n</source>\n</context>"_qs)
                             << 3;
        QTest::addRow("plain ignores the preamble")
            << u"Plain"_qs << u"  Summarize  "_qs << standard << mixed << true
            << (u"TASK:\nSummarize\n\n---\n\nSOURCE: "_qs + pageA
                   + u"\n\nAlpha text\n\nAlpha two\n\n---\n\nSOURCE: /docs/b.md\n\nBeta text\n\nNOTE: check this"_qs)
            << 3;
        QTest::addRow("ungrouped")
            << u"Sections"_qs << u""_qs << none << mixed << false
            << (u"# Context\n\n## SOURCE: "_qs + pageA
                   + u"\n\nAlpha text\n\n---\n\n## SOURCE: /docs/b.md\n\nBeta text\n\n_Note: check "
                     u"this_\n\n---\n\n## SOURCE: Other title \u2014 https://a.test/1\n\nAlpha "
                     u"two"_qs)
            << 3;
        QTest::addRow("empty sections") << u"Sections"_qs << u" "_qs << none << QStringList() << true << u""_qs << 0;
        QTest::addRow("empty xml") << u"XML-tagged"_qs << u""_qs << none << QStringList() << true
                                   << u"<context>\n</context>"_qs << 0;
        QTest::addRow("empty plain") << u"Plain"_qs << u""_qs << standard << QStringList() << true << u""_qs << 0;
        QTest::addRow("pinned first") << u"Sections"_qs << u""_qs << none << QStringList {u"A"_qs, u"B!"_qs, u"C"_qs}
                                      << true
                                      << (u"# Context\n\n## SOURCE: /docs/b.md\n\nBeta text\n\n---\n\n## SOURCE: "_qs
                                             + pageA + u"\n\nAlpha text\n\n---\n\n## SOURCE: Notes\n\nGamma & <tag>"_qs)
                                      << 3;
        QTest::addRow("xml escapes task and body")
            << u"XML-tagged"_qs << u"a < b & c 'q'"_qs << none << QStringList {u"C"_qs} << true
            << u"<context>\n<task>\na &lt; b &amp; c 'q'\n</task>\n<source name=\"Notes\">\nGamma &amp; "
               u"&lt;tag&gt;\n</source>\n</context>"_qs
            << 1;
        QTest::addRow("verbatim custom text") << u"Plain"_qs << u""_qs << none << QStringList {u"B~"_qs} << true
                                              << u"SOURCE: /docs/b.md\n\n\n  kept  \n"_qs << 1;
        QTest::addRow("code fenced") << u"Sections"_qs << u""_qs << none << QStringList {u"CODE"_qs} << true
                                     << u"# Context\n\n## SOURCE: Editor\n\n```swift\nlet x = 1\n```"_qs << 1;
        QTest::addRow("multi-line preamble") << u"Sections"_qs << u""_qs << QVariant(u"\nLine one\nLine two\n"_qs)
                                             << QStringList() << true << u"# Context\n\n> Line one\nLine two"_qs << 0;
        QTest::addRow("misspelled layout is sections")
            << u"xml-tagged"_qs << u"T"_qs << none << QStringList {u"C"_qs} << true
            << u"# Task\n\nT\n\n# Context\n\n## SOURCE: Notes\n\nGamma & <tag>"_qs << 1;
        QTest::addRow("keys compared in NFC")
            << u"Plain"_qs << u""_qs << none << QStringList {u"NFC"_qs, u"C"_qs, u"NFD"_qs} << true
            << u"SOURCE: https://caf\u00E9.test\n\nComposed\n\nDecomposed\n\n---\n\n"
               u"SOURCE: Notes\n\nGamma & <tag>"_qs
            << 3;
        // A file system keeps two spellings of a name as two files: two sources, as the caption counts.
        QTest::addRow("file paths compared byte for byte")
            << u"Plain"_qs << u""_qs << none << QStringList {u"FILENFC"_qs, u"C"_qs, u"FILENFD"_qs} << true
            << u"SOURCE: /notes/Caf\u00E9 notes.txt\n\nComposed path\n\n---\n\nSOURCE: Notes\n\nGamma & "
               u"<tag>\n\n---\n\nSOURCE: /notes/Cafe\u0301 notes.txt\n\nDecomposed path"_qs
            << 3;
        QTest::addRow("excluded and missing skipped")
            << u"Plain"_qs << u"%1"_qs << none << QStringList {u"A-"_qs, u"B?"_qs, u"C"_qs} << true
            << u"TASK:\n%1\n\n---\n\nSOURCE: Notes\n\nGamma & <tag>"_qs << 1;
    }
    void layouts()
    {
        QFETCH(QString, layout);
        QFETCH(QString, task);
        QFETCH(QVariant, preamble);
        QFETCH(QStringList, entries);
        QFETCH(bool, grouped);
        QFETCH(QString, expected);
        QFETCH(int, entryCount);
        const ContextDraft draft = draftOf(layout, task, entries);
        const std::optional<QString> p = preamble.isValid() ? std::optional(preamble.toString()) : std::nullopt;
        const ComposedContext c
            = ContextComposer::compose(draft, library().values(), p, std::nullopt, std::nullopt, grouped);
        QCOMPARE(c.text, expected);
        QCOMPARE(c.entryCount, entryCount);
        QCOMPARE(c.tokens, qint64(std::ceil(TextMetrics::count(expected) / 4.0)));
        QVERIFY(c.feedback.isEmpty());
    }

    void hasContent_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QVariant>("preamble");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("expected");
        const QVariant none;
        QTest::addRow("task") << u"Plain"_qs << u"T"_qs << none << QStringList() << true;
        QTest::addRow("blank task") << u"Sections"_qs << u"  \n"_qs << none << QStringList() << false;
        QTest::addRow("preamble") << u"XML-tagged"_qs << u""_qs << QVariant(u"P"_qs) << QStringList() << true;
        QTest::addRow("blank preamble") << u"Sections"_qs << u""_qs << QVariant(u" "_qs) << QStringList() << false;
        QTest::addRow("plain ignores preamble") << u"Plain"_qs << u""_qs << QVariant(u"P"_qs) << QStringList() << false;
        QTest::addRow("usable entry") << u"Plain"_qs << u""_qs << none << QStringList {u"A-"_qs, u"C"_qs} << true;
        QTest::addRow("only missing and excluded")
            << u"Sections"_qs << u""_qs << none << QStringList {u"A?"_qs, u"C-"_qs} << false;
    }
    void hasContent()
    {
        QFETCH(QString, layout);
        QFETCH(QString, task);
        QFETCH(QVariant, preamble);
        QFETCH(QStringList, entries);
        QFETCH(bool, expected);
        const std::optional<QString> p = preamble.isValid() ? std::optional(preamble.toString()) : std::nullopt;
        QCOMPARE(ContextComposer::hasContent(draftOf(layout, task, entries), library().values(), p), expected);
    }

    void composeFeedback_data()
    {
        QTest::addColumn<QString>("task");
        QTest::addColumn<qint64>("budget");
        QTest::addColumn<QStringList>("expected");
        // "TASK:\n" and the task: 6 + 7994 = 8000 characters, 2000 tokens at four characters each.
        const QString task(7994, u'x');
        QTest::addRow("zero budget") << task << qint64(0)
                                     << QStringList {u"The token budget must be greater than zero."_qs};
        QTest::addRow("negative budget") << u"T"_qs << qint64(-5)
                                         << QStringList {u"The token budget must be greater than zero."_qs};
        QTest::addRow("equal") << task << qint64(2000) << QStringList();
        QTest::addRow("over") << task << qint64(1) << QStringList {u"Over budget by an estimated 1,999 tokens."_qs};
    }
    void composeFeedback()
    {
        QFETCH(QString, task);
        QFETCH(qint64, budget);
        QFETCH(QStringList, expected);
        const ComposedContext c
            = ContextComposer::compose(draftOf(u"Plain"_qs, task, {}), {}, std::nullopt, std::nullopt, budget);
        QCOMPARE(c.feedback, expected);
    }
};

TESSELLON_TEST_MAIN(TestContextComposer)
#include "tst_ContextComposer.moc"
