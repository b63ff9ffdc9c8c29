#pragma once
// A plain-text editor whose text is exactly what was pasted or typed into it. The document keeps a
// no-break space and a line separator (U+2028) as they are, but breaks its blocks at a paragraph
// separator (U+2029) as at a line feed, and QPlainTextEdit::toPlainText turns all three into
// spaces and line feeds. Here a pasted paragraph separator is kept as a line separator marked with
// the character it stands for, and text() reads the document's own characters.

#include <QPlainTextEdit>

class PastedTextEdit final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit PastedTextEdit(QWidget* parent = nullptr);

    // Replaces the whole text; text() gives it back unchanged (apart from CR LF and a lone CR,
    // which the editor keeps as line feeds).
    void setText(const QString& text);
    QString text() const;

protected:
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void insert(QTextCursor& cursor, const QString& text);
    QString textBetween(int from, int to) const;
};
