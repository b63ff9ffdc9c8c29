#include "Zubra/LibraryWindow/PassageRenderer.h"
#include "support/TestMain.h"

#include <QFile>
#include <QFontInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>

namespace {

// Every image, anchor and resource name the rendered document holds.
struct DocumentParts
{
    int images = 0;
    QStringList anchors;
};

DocumentParts partsOf(const QTextDocument& document)
{
    DocumentParts out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                ++out.images;
            if (format.isAnchor())
                out.anchors.append(format.anchorHref());
        }
    }
    return out;
}

} // namespace

class TestPassageRenderer : public QObject
{
    Q_OBJECT

private slots:
    void rawHtmlStaysLiteral_data();
    void rawHtmlStaysLiteral();
    void localImageIsNotRead();
    void remoteImageIsNotFetched();
    void openableLinks_data();
    void openableLinks();
    void clickOpensThroughTheOpener();
    void partsSplitBetweenBlocks_data();
    void partsSplitBetweenBlocks();
    void largePassageRendersInSteps();
    void emphasisIsItalic();
    void inlineCodeIsMonospaced();
    void codeFontIsFixedWidth_data();
    void codeFontIsFixedWidth();
    void longLineBreaksAtBlanks_data();
    void longLineBreaksAtBlanks();
    void costlyPartsShowTheirSource_data();
    void costlyPartsShowTheirSource();
};

void TestPassageRenderer::rawHtmlStaysLiteral_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QStringList>("visible");
    QTest::newRow("div block swallows nothing")
        << u"before\n\n<div>\n\ninside **bold**\n\nafter"_qs << QStringList {u"<div>"_qs, u"inside bold"_qs, u"after"_qs};
    QTest::newRow("inline span") << u"a <span style=\"display:none\">hidden</span> b"_qs
                                 << QStringList {u"<span style=\"display:none\">hidden</span>"_qs, u"b"_qs};
    QTest::newRow("comment") << u"x <!-- gone --> y"_qs << QStringList {u"<!-- gone -->"_qs, u"y"_qs};
    QTest::newRow("img tag") << u"<img src=\"https://t.example/p.gif\">"_qs
                             << QStringList {u"<img src=\"https://t.example/p.gif\">"_qs};
}

void TestPassageRenderer::rawHtmlStaysLiteral()
{
    QFETCH(QString, markdown);
    QFETCH(QStringList, visible);
    PassageView view;
    view.setMarkdownPassage(markdown);
    const QString shown = view.document()->toPlainText();
    for (const QString& text : visible)
        QVERIFY2(shown.contains(text), qPrintable(shown));
    QCOMPARE(partsOf(*view.document()).images, 0);
}

void TestPassageRenderer::localImageIsNotRead()
{
    QTemporaryDir dir;
    const QString secretPath = dir.filePath(u"hostname"_qs);
    QFile secret(secretPath);
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET-CONTENT");
    secret.close();
    const QUrl url = QUrl::fromLocalFile(secretPath);

    // The fault: a plain document reads local files for any resource name it is given.
    QTextDocument plain;
    QVERIFY(!plain.resource(QTextDocument::ImageResource, url).isNull());

    PassageView view;
    view.resize(400, 300);
    view.setMarkdownPassage(u"look ![x]("_qs + secretPath + u") here\n\n![alt text](/etc/hostname)"_qs);
    (void)view.grab(); // paint it
    QCOMPARE(partsOf(*view.document()).images, 0);
    QCOMPARE(view.document()->toPlainText(), u"look x here\nalt text"_qs);
    QVERIFY(view.document()->resource(QTextDocument::ImageResource, url).isNull());
}

void TestPassageRenderer::remoteImageIsNotFetched()
{
    PassageView view;
    view.resize(400, 300);
    view.setMarkdownPassage(u"pixel ![](https://tracker.example/p.png?u=1) and ![logo](http://x.example/l.png)"_qs);
    (void)view.grab();
    QCOMPARE(partsOf(*view.document()).images, 0);
    QCOMPARE(view.document()->toPlainText(), u"pixel  and logo"_qs);
    QVERIFY(view.document()->resource(QTextDocument::ImageResource, QUrl(u"http://x.example/l.png"_qs)).isNull());
}

void TestPassageRenderer::openableLinks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("opens");
    QTest::newRow("https") << u"https://example.com/a?b=c"_qs << true;
    QTest::newRow("http") << u"http://example.com"_qs << true;
    QTest::newRow("mailto") << u"mailto:someone@example.com"_qs << true;
    QTest::newRow("upper-case scheme") << u"HTTPS://example.com"_qs << true;
    QTest::newRow("file") << u"file:///etc/passwd"_qs << false;
    QTest::newRow("javascript") << u"javascript:alert(1)"_qs << false;
    QTest::newRow("ftp") << u"ftp://example.com"_qs << false;
    QTest::newRow("relative") << u"notes/readme.md"_qs << false;
    QTest::newRow("http without host") << u"http:///path"_qs << false;
    QTest::newRow("custom scheme") << u"x-apple.systempreferences:foo"_qs << false;
}

void TestPassageRenderer::openableLinks()
{
    QFETCH(QString, url);
    QFETCH(bool, opens);
    QCOMPARE(PassageRenderer::isOpenable(QUrl(url)), opens);
    PassageView view;
    QList<QUrl> opened;
    view.setLinkOpener([&](const QUrl& link) { opened.append(link); });
    emit view.anchorClicked(QUrl(url));
    QCOMPARE(opened.size(), opens ? 1 : 0);
}

void TestPassageRenderer::clickOpensThroughTheOpener()
{
    PassageView view;
    view.resize(400, 200);
    QList<QUrl> opened;
    view.setLinkOpener([&](const QUrl& link) { opened.append(link); });
    view.setMarkdownPassage(u"see [the site](https://example.com/page) and [a file](file:///etc/passwd)"_qs);
    QCOMPARE(partsOf(*view.document()).anchors,
        (QStringList {u"https://example.com/page"_qs, u"file:///etc/passwd"_qs}));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const auto clickAt = [&](const QString& word) {
        QTextCursor cursor = view.document()->find(word);
        QVERIFY(!cursor.isNull());
        cursor.setPosition(cursor.selectionStart() + 1);
        const QPoint point = view.cursorRect(cursor).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, point);
    };
    clickAt(u"site"_qs);
    QCOMPARE(opened, (QList<QUrl> {QUrl(u"https://example.com/page"_qs)}));
    clickAt(u"file"_qs);
    QCOMPARE(opened.size(), 1);
}

void TestPassageRenderer::partsSplitBetweenBlocks_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("expectedParts");
    QString paragraphs;
    for (int i = 0; i < 10; ++i)
        paragraphs += u"Paragraph "_qs + QString::number(i) + u" text.\n\n"_qs;
    QTest::newRow("small stays whole") << paragraphs << 10000 << 1;
    QTest::newRow("paragraphs") << paragraphs << 40 << 4;
    const QString fenced = u"intro\n\n```\ncode\n\nmore code\n\n\nend code\n```\n\nafter\n\nlast\n"_qs;
    QTest::newRow("fence kept whole") << fenced << 4 << 4;
    QTest::newRow("indented continuation kept") << u"- item\n\n  continued\n\nnext\n"_qs << 2 << 2;
}

void TestPassageRenderer::partsSplitBetweenBlocks()
{
    QFETCH(QString, markdown);
    QFETCH(int, size);
    QFETCH(int, expectedParts);
    const QStringList parts = PassageRenderer::parts(markdown, size);
    QCOMPARE(parts.join(QString()), markdown);
    QCOMPARE(parts.size(), expectedParts);
    for (const QString& part : parts) {
        // Every part holds balanced fences.
        QCOMPARE(part.count(u"```"_qs) % 2, 0);
        // No part starts with an indented continuation.
        QVERIFY(!part.at(0).isSpace());
    }
}

void TestPassageRenderer::largePassageRendersInSteps()
{
    QString markdown;
    for (int i = 0; markdown.size() < 5 * PassageView::stepSize; ++i) {
        markdown += u"Paragraph "_qs + QString::number(i) + u" with **bold** and a [link](https://e.example/"_qs
            + QString::number(i) + u").\n\n"_qs;
        if (i % 50 == 0)
            markdown += u"```\nfenced\n\nblock\n```\n\n"_qs;
    }
    QTextDocument whole;
    whole.setMarkdown(markdown, PassageRenderer::features());

    PassageView view;
    QSignalSpy finished(&view, &PassageView::renderingFinished);
    view.setMarkdownPassage(markdown);
    QVERIFY(!view.isComplete());
    QVERIFY(view.document()->characterCount() < whole.characterCount());
    QVERIFY(finished.wait(5000));
    QVERIFY(view.isComplete());
    QCOMPARE(view.document()->toPlainText(), whole.toPlainText());
    QCOMPARE(view.document()->blockCount(), whole.blockCount());

    // A new passage replaces a half-rendered one.
    view.setMarkdownPassage(markdown);
    view.setMarkdownPassage(u"short"_qs);
    QVERIFY(view.isComplete());
    QTest::qWait(20);
    QCOMPARE(view.document()->toPlainText(), u"short"_qs);
}

void TestPassageRenderer::emphasisIsItalic()
{
    PassageView view;
    view.setMarkdownPassage(u"Kept for _ninety days_ and *a week*, __bold__."_qs);
    QStringList italic;
    for (auto it = view.document()->begin().begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        QVERIFY2(!format.fontUnderline(), qPrintable(it.fragment().text()));
        if (format.fontItalic())
            italic.append(it.fragment().text());
    }
    QCOMPARE(italic, (QStringList {u"ninety days"_qs, u"a week"_qs}));
}

void TestPassageRenderer::inlineCodeIsMonospaced()
{
    PassageView view;
    view.setMarkdownPassage(u"Run `make all` now.\n\n```\nfenced\n```\n"_qs);
    view.finishRendering();
    QFont inlineFont, fencedFont, bodyFont;
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QFont font = it.fragment().charFormat().font();
            if (it.fragment().text() == u"make all"_qs)
                inlineFont = font;
            else if (it.fragment().text() == u"fenced"_qs)
                fencedFont = font;
            else if (it.fragment().text().startsWith(u"Run"_qs))
                bodyFont = font;
        }
    }
    // Drawn as fenced code is: in a fixed-width face, unlike the text around it.
    QVERIFY(QFontInfo(inlineFont).fixedPitch());
    QCOMPARE(QFontInfo(inlineFont).family(), QFontInfo(fencedFont).family());
    QVERIFY(QFontInfo(inlineFont).family() != QFontInfo(bodyFont).family());
}

void TestPassageRenderer::codeFontIsFixedWidth_data()
{
    QTest::addColumn<QString>("desktopFixed");
    QTest::newRow("a fixed-width face") << u"DejaVu Sans Mono"_qs;
    QTest::newRow("the body face (a theme without a fixed font)") << u"DejaVu Sans"_qs;
}

void TestPassageRenderer::codeFontIsFixedWidth()
{
    QFETCH(QString, desktopFixed);
    QFont given(desktopFixed, 14);
    const QFont code = PassageRenderer::codeFont(given);
    QVERIFY(QFontInfo(code).fixedPitch());
    QCOMPARE(code.pointSize(), 14);
    if (QFontInfo(given).fixedPitch())
        QCOMPARE(code, given);
}

void TestPassageRenderer::longLineBreaksAtBlanks_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("hasBlanks");
    QString words;
    for (int i = 0; words.size() < 72'000; ++i)
        words += u"word"_qs + QString::number(i % 97) + u' ';
    QTest::newRow("72,000 characters of words") << words << true;
    QTest::newRow("72,000 characters without a blank") << QString(72'000, u'x') << false;
}

void TestPassageRenderer::longLineBreaksAtBlanks()
{
    QFETCH(QString, line);
    QFETCH(bool, hasBlanks);
    QString shown;
    for (const PassageRenderer::Step& step : PassageRenderer::steps(line, 8 * 1024)) {
        QVERIFY(!step.isMarkdown);
        shown += (shown.isEmpty() ? QString() : u"\n"_qs) + step.text;
    }
    const QStringList pieces = shown.split(u'\n');
    QVERIFY(pieces.size() > 1);
    QCOMPARE(pieces.join(QString()), line); // nothing lost or added but the breaks
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        QVERIFY(pieces[i].size() <= 1024);
        // Between words, when the line has blanks; else where the length says.
        if (hasBlanks)
            QVERIFY2(pieces[i].endsWith(u' '), qPrintable(pieces[i].right(20)));
        else
            QCOMPARE(pieces[i].size(), 1024);
    }
}

void TestPassageRenderer::costlyPartsShowTheirSource_data()
{
    QTest::addColumn<QString>("costly");
    QTest::addColumn<QString>("shown"); // a line of the source the document shows as it is
    QString table;
    for (int row = 0; row < 60; ++row) {
        for (int cell = 0; cell < 10; ++cell)
            table += row == 1 ? u"| --- "_qs : u"| c"_qs + QString::number(cell) + u' ';
        table += u"|\n"_qs;
    }
    QTest::newRow("table of 600 cells") << table << u"| c0 | c1 | c2 "_qs;
    QString line;
    for (int i = 0; i < 40'000; ++i)
        line += QChar(i % 3 == 0 ? u'\0' : i % 3 == 1 ? u'\uFFFF' : u'>');
    QTest::newRow("one line of 40,000 characters") << line << u"\uFFFD\uFFFF>\uFFFD"_qs;
    QTest::newRow("quotes nested 40 deep") << QString(40, u'>') + u" deep"_qs << u">>>>>>>>>>"_qs;
    QString paragraph;
    while (paragraph.size() < 70'000)
        paragraph += u"word *and* more\n"_qs;
    QTest::newRow("70,000 characters without a blank line") << paragraph << u"word *and* more"_qs;
}

void TestPassageRenderer::costlyPartsShowTheirSource()
{
    QFETCH(QString, costly);
    QFETCH(QString, shown);
    // The parts around the costly one keep their Markdown.
    const QString markdown = u"# Title\n\nSome _text_.\n\n"_qs + costly + u"\n\nAfter **it**.\n"_qs;
    const QList<PassageRenderer::Step> steps = PassageRenderer::steps(markdown, 1024);
    QVERIFY(steps.size() >= 3);
    QVERIFY(steps.first().isMarkdown);
    QVERIFY(steps.last().isMarkdown);
    int plain = 0;
    for (const PassageRenderer::Step& step : steps) {
        QVERIFY(step.text.size() <= 1024 || step.isMarkdown);
        QVERIFY(!step.text.contains(QChar(0)));
        plain += step.isMarkdown ? 0 : 1;
    }
    QVERIFY(plain >= 1);

    PassageView view;
    view.setMarkdownPassage(markdown);
    view.finishRendering();
    const QTextDocument& document = *view.document();
    QCOMPARE(document.begin().blockFormat().headingLevel(), 1);
    QVERIFY(document.toPlainText().contains(shown));
    QVERIFY(!document.toPlainText().contains(QChar(0)));
    QVERIFY(document.toPlainText().endsWith(u"After it."_qs));
    QVERIFY(document.rootFrame()->childFrames().isEmpty()); // no table, no quotation frames
}

TESSELLON_GUI_TEST_MAIN(TestPassageRenderer)
#include "tst_PassageRenderer.moc"
