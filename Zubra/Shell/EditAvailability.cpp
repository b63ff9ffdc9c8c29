#include "Zubra/Shell/EditAvailability.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

namespace EditAvailability {

namespace {

const QTextDocument* documentOf(const QWidget* widget)
{
    if (const auto* edit = qobject_cast<const QTextEdit*>(widget))
        return edit->isReadOnly() ? nullptr : edit->document();
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(widget))
        return edit->isReadOnly() ? nullptr : edit->document();
    return nullptr;
}

} // namespace

bool canUndo(const QWidget* widget)
{
    if (const auto* field = qobject_cast<const QLineEdit*>(widget))
        return !field->isReadOnly() && field->isUndoAvailable();
    const QTextDocument* document = documentOf(widget);
    return document && document->isUndoAvailable();
}

bool canRedo(const QWidget* widget)
{
    if (const auto* field = qobject_cast<const QLineEdit*>(widget))
        return !field->isReadOnly() && field->isRedoAvailable();
    const QTextDocument* document = documentOf(widget);
    return document && document->isRedoAvailable();
}

void follow(QAction* undo, QAction* redo)
{
    const QPointer<QAction> undoAction(undo);
    const QPointer<QAction> redoAction(redo);
    const auto update = [undoAction, redoAction] {
        const QWidget* focus = QApplication::focusWidget();
        if (undoAction)
            undoAction->setEnabled(canUndo(focus));
        if (redoAction)
            redoAction->setEnabled(canRedo(focus));
    };
    // The edits of the focused field change what can be undone; the connection to the field that
    // had the focus before is dropped.
    auto watched = std::make_shared<QMetaObject::Connection>();
    QObject::connect(qApp, &QApplication::focusChanged, undo, [update, watched](QWidget*, QWidget* now) {
        QObject::disconnect(*watched);
        if (auto* field = qobject_cast<QLineEdit*>(now))
            *watched = QObject::connect(field, &QLineEdit::textChanged, field, [update] { update(); });
        else if (auto* edit = qobject_cast<QTextEdit*>(now))
            *watched = QObject::connect(edit->document(), &QTextDocument::contentsChanged, edit, [update] { update(); });
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(now))
            *watched = QObject::connect(plain->document(), &QTextDocument::contentsChanged, plain, [update] { update(); });
        update();
    });
    update();
}

} // namespace EditAvailability
