#pragma once
// Drags that start in Tessellon carry a private mark beside their text. Its own text fields refuse
// a marked drag, so a row dropped on a note or on the search field never types its identifiers
// there: the drag goes on to the field's parent (the composer's list reorders) or nowhere. Other
// programs read only the text and receive it as before.

#include <QString>

class QMimeData;
class QObject;

namespace OwnDrags {

inline const QString mimeType = QStringLiteral("application/x-tessellon-own-drag");

void mark(QMimeData& data);
bool isOwn(const QMimeData* data);

// Makes `target` refuse marked drags: a line edit, or the viewport of a text editor (where a
// scroll area receives its drags). The refusal lives as long as the target.
void refuseIn(QObject* target);

} // namespace OwnDrags
