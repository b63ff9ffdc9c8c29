#pragma once
// Tessellon's own row drags (a list of selections, or an entry of the composer being reordered)
// are never typed into its own text fields: a field told to refuse them turns them away, and the
// drag goes on to the field's parent (the composer's list reorders) or nowhere. Other programs
// still receive the text, and any other text dragged onto a field is taken as before.

class QDropEvent;
class QObject;

namespace OwnDrags {

// Marks `source` as a widget whose drags are rows, not text.
void markSource(QObject* source);
// Whether the drag carries the selection payload, or was started by a marked widget of this
// process.
bool isOwn(const QDropEvent& event);

// Makes `target` refuse own drags: a line edit, or the viewport of a text editor (where a scroll
// area receives its drags). The refusal lives as long as the target.
void refuseIn(QObject* target);

} // namespace OwnDrags
