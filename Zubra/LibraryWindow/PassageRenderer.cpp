#include "Zubra/LibraryWindow/PassageRenderer.h"

#include <QTextBlock>
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
    return QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub | QTextDocument::MarkdownNoHTML);
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

} // namespace

void appendMarkdown(QTextDocument& document, const QString& markdown)
{
    PassageDocument part;
    part.setMarkdown(markdown, features());
    replaceImagesWithAltText(part);
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
    m_stepTimer = new QTimer(this);
    m_stepTimer->setInterval(0);
    connect(m_stepTimer, &QTimer::timeout, this, &PassageView::renderStep);
    connect(this, &QTextBrowser::anchorClicked, this, &PassageView::linkClicked);
}

void PassageView::setMarkdownPassage(const QString& markdown)
{
    m_stepTimer->stop();
    m_document->clear();
    m_pending = PassageRenderer::parts(markdown, stepSize);
    renderStep();
}

void PassageView::setPlainPassage(const QString& text)
{
    m_stepTimer->stop();
    m_pending.clear();
    m_document->setPlainText(text);
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
    PassageRenderer::appendMarkdown(*m_document, m_pending.takeFirst());
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
