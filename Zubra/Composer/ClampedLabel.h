#pragma once
// A wrapped label of at most a given number of lines: a text that needs more shows its first
// lines and ends the last one with an ellipsis, instead of being cut through a line. Assistive
// technology reads the whole text.

#include <QLabel>

class ClampedLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit ClampedLabel(int maximumLines, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_text; }
    // The lines shown at `width`, the last one elided when the text needs more.
    QStringList linesAt(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void relayout();
    int heightOf(const QStringList& lines) const;

    int m_maximumLines;
    QString m_text;
};
