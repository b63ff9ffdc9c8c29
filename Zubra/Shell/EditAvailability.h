#pragma once
// Undo and Redo of the Edit menu are enabled only while the focused widget is a text field with
// something to undo or redo; the library itself keeps no undo history.

class QAction;
class QWidget;

namespace EditAvailability {

bool canUndo(const QWidget* widget);
bool canRedo(const QWidget* widget);

// Keeps the two actions' enabled state with the application's focus widget and its edits.
void follow(QAction* undo, QAction* redo);

} // namespace EditAvailability
