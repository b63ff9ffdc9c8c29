#include "Zubra/Composer/PastedTextEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// The character format property that holds the character a marked line separator stands for.
constexpr int standsForProperty = QTextFormat::UserProperty + 1;

// Characters the document would turn into a block break, other than the line ends.
bool breaksBlock(char16_t c)
{
    return c == QChar::ParagraphSeparator || c == 0xFDD0 || c == 0xFDD1;
}

QTextCharFormat unmarked(QTextCharFormat format)
{
    format.clearProperty(standsForProperty);
    return format;
}

} // namespace

PastedTextEdit::PastedTextEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
}

void PastedTextEdit::setText(const QString& text)
{
    clear();
    QTextCursor cursor(document());
    insert(cursor, text);
    document()->clearUndoRedoStacks();
    moveCursor(QTextCursor::Start);
}

QString PastedTextEdit::text() const
{
    return textBetween(0, document()->characterCount() - 1);
}

void PastedTextEdit::insert(QTextCursor& cursor, const QString& text)
{
    const QTextCharFormat plain = unmarked(cursor.charFormat());
    cursor.beginEditBlock();
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!breaksBlock(text[i].unicode()))
            continue;
        if (i > start)
            cursor.insertText(text.mid(start, i - start), plain);
        QTextCharFormat marked = plain;
        marked.setProperty(standsForProperty, int(text[i].unicode()));
        cursor.insertText(QString(QChar::LineSeparator), marked);
        start = i + 1;
    }
    if (start < text.size())
        cursor.insertText(text.mid(start), plain);
    cursor.endEditBlock();
}

QString PastedTextEdit::textBetween(int from, int to) const
{
    QString out;
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (block.position() > from)
            out += u'\n';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int begin = std::max(from, fragment.position());
            const int end = std::min(to, fragment.position() + fragment.length());
            if (begin >= end)
                continue;
            QString piece = fragment.text().mid(begin - fragment.position(), end - begin);
            const QVariant standsFor = fragment.charFormat().property(standsForProperty);
            if (standsFor.isValid())
                piece.replace(QChar::LineSeparator, QChar(char16_t(standsFor.toInt())));
            out += piece;
        }
    }
    return out;
}

void PastedTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    insert(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* PastedTextEdit::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void PastedTextEdit::keyPressEvent(QKeyEvent* event)
{
    // A typed line separator is itself, also right after a marked one.
    if (event->matches(QKeySequence::InsertLineSeparator) && !isReadOnly()) {
        QTextCursor cursor = textCursor();
        cursor.insertText(QString(QChar::LineSeparator), unmarked(cursor.charFormat()));
        setTextCursor(cursor);
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
