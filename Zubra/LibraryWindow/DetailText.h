#pragma once
// Cutting user text to the lines a label has room for, in the detail view: a title that ends
// with an ellipsis, an address or a path whose middle gives way. The text is bounded before
// anything is measured, so a huge title costs no more than a short one.

#include <QFont>
#include <QLabel>
#include <QString>

namespace DetailText {

// At most `lines` lines of at most `width` pixels, wrapping anywhere when a word does not fit.
QString fitToLines(const QString& text, const QFont& font, int width, int lines, Qt::TextElideMode mode);

} // namespace DetailText

// A label that shows its text cut to its width and line count, with the whole text as tool tip.
class FittedLabel : public QLabel
{
public:
    FittedLabel(int lines, Qt::TextElideMode mode, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refit();

    QString m_fullText;
    int m_lines;
    Qt::TextElideMode m_mode;
};
