#include "Zubra/LibraryWindow/PassageRenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextBlock>
#include <QtMath>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTimer>

QVariant PassageDocument::loadResource(int, const QUrl&)
{
    return {};
}

namespace PassageRenderer {

QTextDocument::MarkdownFeatures features()
{
    // Qt's GitHub dialect reads _x_ as underline (the parser's underline flag, 0x4000); here it is
    // emphasis, as on GitHub itself.
    constexpr int underlineFlag = 0x4000;
    return QTextDocument::MarkdownFeatures(
        (int(QTextDocument::MarkdownDialectGitHub) & ~underlineFlag) | int(QTextDocument::MarkdownNoHTML));
}

QString sanitized(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u == 0 || u == 0xFDD0 || u == 0xFDD1 || u == 0xFFFC)
            c = QChar::ReplacementCharacter;
        else if (u == QChar::ParagraphSeparator)
            c = u'\n';
    }
    return out;
}

namespace {

// Past these the parser or the layout of one part may take longer than a frame.
constexpr qsizetype costlyPartSize = 64 * 1024; // no blank line to split at in all that text
constexpr qsizetype costlyLineLength = 16 * 1024; // one line is laid out as a whole
constexpr qsizetype costlyCellCount = 400; // a table is parsed and laid out as a whole
constexpr int costlyQuoteDepth = 16; // each level of quotation nests a frame
// Source shown as it is: at most this much per step, and a longer line cut into lines of this
// length (a line without a place to break costs the layout the square of its length).
constexpr qsizetype plainStepSize = 8 * 1024;
constexpr qsizetype plainLineLength = 1024;

} // namespace

QFont codeFont(const QFont& desktopFixed)
{
    QFont font = desktopFixed;
    if (!QFontInfo(font).fixedPitch()) {
        font.setFamilies({u"monospace"_qs});
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    return font;
}

QFont codeFont()
{
    return codeFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

bool isCostly(QStringView part)
{
    if (part.size() > costlyPartSize)
        return true;
    qsizetype pipes = 0;
    qsizetype lineStart = 0;
    while (lineStart <= part.size()) {
        qsizetype lineEnd = part.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = part.size();
        if (lineEnd - lineStart > costlyLineLength)
            return true;
        int depth = 0;
        for (qsizetype i = lineStart; i < lineEnd; ++i) {
            const QChar c = part[i];
            if (c == u'>')
                ++depth;
            else if (c != u' ' && c != u'\t')
                break;
        }
        if (depth > costlyQuoteDepth)
            return true;
        pipes += QStringView(part).mid(lineStart, lineEnd - lineStart).count(u'|');
        if (pipes > costlyCellCount)
            return true;
        lineStart = lineEnd + 1;
    }
    return false;
}

namespace {

bool isBlank(QStringView line)
{
    for (QChar c : line) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// A fence opener or closer: up to three spaces, then three or more backticks or tildes.
QChar fenceMarker(QStringView line, qsizetype* length)
{
    qsizetype i = 0;
    while (i < line.size() && i < 3 && line[i] == u' ')
        ++i;
    if (i >= line.size() || (line[i] != u'`' && line[i] != u'~'))
        return {};
    const QChar marker = line[i];
    qsizetype run = 0;
    while (i + run < line.size() && line[i + run] == marker)
        ++run;
    if (run < 3)
        return {};
    *length = run;
    return marker;
}

} // namespace

QStringList parts(const QString& markdown, qsizetype size)
{
    QStringList out;
    if (markdown.size() <= size) {
        out.append(markdown);
        return out;
    }
    qsizetype partStart = 0;
    qsizetype lineStart = 0;
    bool previousBlank = false;
    QChar openFence;
    qsizetype openFenceLength = 0;
    while (lineStart < markdown.size()) {
        qsizetype lineEnd = markdown.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = markdown.size();
        const QStringView line = QStringView(markdown).mid(lineStart, lineEnd - lineStart);
        const bool blank = isBlank(line);
        if (openFence.isNull() && previousBlank && !blank && lineStart - partStart >= size && !line[0].isSpace()) {
            out.append(markdown.mid(partStart, lineStart - partStart));
            partStart = lineStart;
        }
        qsizetype length = 0;
        const QChar marker = fenceMarker(line, &length);
        if (openFence.isNull() && !marker.isNull()) {
            openFence = marker;
            openFenceLength = length;
        } else if (!openFence.isNull() && marker == openFence && length >= openFenceLength) {
            openFence = {};
        }
        previousBlank = blank;
        lineStart = lineEnd + 1;
    }
    out.append(markdown.mid(partStart));
    return out;
}

namespace {

// Puts each image's alt text in its place, in the surrounding character format.
void replaceImagesWithAltText(QTextDocument& document)
{
    for (QTextBlock block = document.lastBlock(); block.isValid(); block = block.previous()) {
        QList<QTextFragment> images;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                images.append(it.fragment());
        }
        for (qsizetype i = images.size() - 1; i >= 0; --i) {
            const QTextFragment& fragment = images[i];
            QTextCharFormat format = fragment.charFormat();
            const QString alt = format.stringProperty(QTextFormat::ImageAltText);
            format.setObjectType(QTextFormat::NoObject);
            format.clearProperty(QTextFormat::ImageName);
            format.clearProperty(QTextFormat::ImageAltText);
            format.clearProperty(QTextFormat::ImageTitle);
            format.clearProperty(QTextFormat::ImageWidth);
            format.clearProperty(QTextFormat::ImageHeight);
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.insertText(alt, format);
        }
    }
}

// Inline code comes from the parser in the desktop's fixed-width font, marked fixed-pitch; a
// desktop whose "fixed" font is not fixed-width (a theme without one configured hands out the
// body font) would draw it as body text: it gets a fixed-width family, as fenced code has.
void monospaceInlineCode(QTextDocument& document)
{
    const QStringList families = codeFont().families();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QList<QTextFragment> code;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.fontFixedPitch() && format.fontFamilies().toStringList() != families)
                code.append(it.fragment());
        }
        for (const QTextFragment& fragment : code) {
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            QTextCharFormat mono;
            mono.setFontFamilies(families);
            mono.setFontStyleHint(QFont::TypeWriter);
            mono.setFontFixedPitch(true);
            cursor.mergeCharFormat(mono);
        }
    }
}

// Where a piece of a long line ends: after the last blank within the piece's length, so that
// words stay whole; at the length itself when the piece has no blank (never inside a surrogate
// pair).
qsizetype pieceEnd(QStringView line, qsizetype from)
{
    const qsizetype limit = from + plainLineLength;
    if (limit >= line.size())
        return line.size();
    for (qsizetype i = limit - 1; i > from; --i) {
        if (line[i] == u' ' || line[i] == u'\t')
            return i + 1;
    }
    return line[limit - 1].isHighSurrogate() ? limit - 1 : limit;
}

} // namespace

QList<Step> steps(const QString& markdown, qsizetype size)
{
    QList<Step> out;
    // The smallest parts (one block each) are gathered into steps of about `size`; a costly one
    // goes alone, as its source.
    QString gathered;
    for (const QString& part : parts(sanitized(markdown), 1)) {
        if (!isCostly(part)) {
            if (!gathered.isEmpty() && gathered.size() + part.size() > size) {
                out.append(Step {gathered, true});
                gathered.clear();
            }
            gathered += part;
            continue;
        }
        if (!gathered.isEmpty()) {
            out.append(Step {gathered, true});
            gathered.clear();
        }
        // Whole source lines, as many as fit a step; a long line is cut into shorter ones.
        const qsizetype pieceSize = qMin(size, plainStepSize);
        QString piece;
        const auto flush = [&] {
            if (!piece.isEmpty())
                out.append(Step {piece, false});
            piece.clear();
        };
        qsizetype lineStart = 0;
        QString body = part;
        if (body.endsWith(u'\n'))
            body.chop(1);
        while (lineStart <= body.size()) {
            qsizetype lineEnd = body.indexOf(u'\n', lineStart);
            if (lineEnd < 0)
                lineEnd = body.size();
            const QStringView line = QStringView(body).mid(lineStart, lineEnd - lineStart);
            qsizetype at = 0;
            do { // an empty line too is one piece
                const qsizetype end = pieceEnd(line, at);
                const QStringView cut = line.mid(at, end - at);
                if (!piece.isEmpty() && piece.size() + cut.size() + 1 > pieceSize)
                    flush();
                if (!piece.isEmpty())
                    piece += u'\n';
                piece += cut;
                at = end;
            } while (at < line.size());
            lineStart = lineEnd + 1;
        }
        flush();
    }
    if (!gathered.isEmpty())
        out.append(Step {gathered, true});
    return out;
}

void appendPlain(QTextDocument& document, const QString& text)
{
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    if (!document.isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    else
        cursor.setCharFormat(QTextCharFormat());
    cursor.insertText(text, QTextCharFormat());
}

void appendMarkdown(QTextDocument& document, const QString& markdown)
{
    PassageDocument part;
    part.setMarkdown(markdown, features());
    replaceImagesWithAltText(part);
    monospaceInlineCode(part);
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    if (!document.isEmpty())
        cursor.insertBlock();
    cursor.insertFragment(QTextDocumentFragment(&part));
}

bool isOpenable(const QUrl& url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"mailto"_qs)
        return !url.path().isEmpty();
    return (scheme == u"http"_qs || scheme == u"https"_qs) && !url.host().isEmpty();
}

} // namespace PassageRenderer

PassageView::PassageView(QWidget* parent)
    : QTextBrowser(parent)
{
    m_document = new PassageDocument(this);
    setDocument(m_document);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    setTabChangesFocus(true); // Tab leaves the passage instead of walking its links
    connect(m_document->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
        &PassageView::fitHeight);
    m_stepTimer = new QTimer(this);
    m_stepTimer->setInterval(0);
    connect(m_stepTimer, &QTimer::timeout, this, &PassageView::renderStep);
    connect(this, &QTextBrowser::anchorClicked, this, &PassageView::linkClicked);
}

void PassageView::setFitsContent(bool fits)
{
    m_fitsContent = fits;
    setVerticalScrollBarPolicy(fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setSizePolicy(QSizePolicy::Preferred, fits ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    fitHeight();
}

void PassageView::fitHeight()
{
    if (!m_fitsContent)
        return;
    const int height = qCeil(m_document->documentLayout()->documentSize().height()) + 2 * frameWidth();
    if (height != this->height() || maximumHeight() != height)
        setFixedHeight(height);
}

void PassageView::setMarkdownPassage(const QString& markdown)
{
    m_stepTimer->stop();
    m_document->clear();
    m_pending = PassageRenderer::steps(markdown, stepSize);
    renderStep();
}

void PassageView::setPlainPassage(const QString& text)
{
    m_stepTimer->stop();
    m_pending.clear();
    m_document->setPlainText(PassageRenderer::sanitized(text));
}

void PassageView::finishRendering()
{
    while (!m_pending.isEmpty())
        renderStep();
}

QVariant PassageView::loadResource(int, const QUrl&)
{
    return {};
}

void PassageView::renderStep()
{
    if (m_pending.isEmpty()) {
        m_stepTimer->stop();
        return;
    }
    const PassageRenderer::Step step = m_pending.takeFirst();
    if (step.isMarkdown)
        PassageRenderer::appendMarkdown(*m_document, step.text);
    else
        PassageRenderer::appendPlain(*m_document, step.text);
    if (m_pending.isEmpty()) {
        m_stepTimer->stop();
        emit renderingFinished();
    } else if (!m_stepTimer->isActive()) {
        m_stepTimer->start();
    }
}

void PassageView::linkClicked(const QUrl& url)
{
    if (m_openLink && PassageRenderer::isOpenable(url))
        m_openLink(url);
}
