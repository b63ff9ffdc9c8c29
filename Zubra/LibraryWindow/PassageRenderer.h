#pragma once
// The captured passage of a selection, rendered from its Markdown for reading, safely:
// raw HTML stays literal text, no resource is ever loaded (an image shows its alt text, so a
// clipping can neither read a local file nor fetch a tracking pixel), and only http, https and
// mailto links open, on click, through the caller's opener. A large passage is rendered in
// steps: the first part at once, the rest from the event loop, so opening it stays quick. A part
// that would take the parser or the layout too long (a huge table, an endless line, deep quote
// nesting) is shown as its plain source lines instead, in steps of the same size.

#include <QFont>
#include <QList>
#include <QString>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <functional>

class QTimer;

// A document that loads nothing: no file, no network, no embedded resource.
class PassageDocument : public QTextDocument
{
    Q_OBJECT

public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

namespace PassageRenderer {

// The Markdown features used: GitHub's dialect with raw HTML turned off.
QTextDocument::MarkdownFeatures features();

// Splits Markdown into consecutive parts of about `size` UTF-16 units, each ending at a blank line
// outside any fenced code block and followed by an unindented line, so each part parses as the
// whole would there. Joined, the parts give back the text.
QStringList parts(const QString& markdown, qsizetype size);

// One step of rendering: a part of the Markdown, or source text shown as it is.
struct Step
{
    QString text;
    bool isMarkdown = true;
};

// Characters that would confuse the document's own structure (frame and object marks, NUL)
// replaced by U+FFFD.
QString sanitized(const QString& text);

// Whether rendering the part as Markdown could stall the window.
bool isCostly(QStringView part);

// The font of code: the desktop's fixed-width font, or a fixed-width family in its size when
// the desktop's "fixed" font is proportional. Without an argument, the desktop's own.
QFont codeFont(const QFont& desktopFixed);
QFont codeFont();

// The steps of a whole passage: its parts, each as Markdown, or as plain source lines of at most
// `size` UTF-16 units each when it is costly (a longer line is cut).
QList<Step> steps(const QString& markdown, qsizetype size);

// Appends one part, rendered, at the end of the document; images become their alt text.
void appendMarkdown(QTextDocument& document, const QString& markdown);
// Appends text as it is, in new blocks of the document's default format.
void appendPlain(QTextDocument& document, const QString& text);

// Links that may be opened from a passage.
bool isOpenable(const QUrl& url);

} // namespace PassageRenderer

class PassageView : public QTextBrowser
{
    Q_OBJECT

public:
    // The size of the part rendered at once and of each later step.
    static constexpr qsizetype stepSize = 16 * 1024;

    explicit PassageView(QWidget* parent = nullptr);

    // The opener of the links the user clicks (nothing by default).
    void setLinkOpener(std::function<void(const QUrl&)> opener) { m_openLink = std::move(opener); }

    // As tall as the whole passage, without a scroll bar of its own: for a view that scrolls
    // around it. Off by default.
    void setFitsContent(bool fits);

    // Shows the Markdown; the part beyond the first step follows from the event loop.
    void setMarkdownPassage(const QString& markdown);
    // Shows text verbatim.
    void setPlainPassage(const QString& text);

    bool isComplete() const { return m_pending.isEmpty(); }
    // Renders whatever is still pending now.
    void finishRendering();

signals:
    void renderingFinished();

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void renderStep();
    void linkClicked(const QUrl& url);

    void fitHeight();

    PassageDocument* m_document = nullptr;
    QList<PassageRenderer::Step> m_pending;
    bool m_fitsContent = false;
    QTimer* m_stepTimer = nullptr;
    std::function<void(const QUrl&)> m_openLink;
};
