#pragma once
// The drag payload that carries a set of selection identifiers between the library's views:
// "tessellonsel:" followed by the upper-case identifiers in ascending text order, joined by ",".
// Pure; safe on any thread.

#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

namespace SelectionDragIDs {

inline const QString prefix = QStringLiteral("tessellonsel:");

// The same set always gives the same text, whatever order it enumerates in.
QString encode(const QSet<QUuid>& ids);

// Nothing when the text is absent, lacks the exact prefix, or names no well-formed identifier.
// Pieces are not trimmed; a malformed piece is skipped.
std::optional<QSet<QUuid>> ids(const std::optional<QString>& text);

} // namespace SelectionDragIDs
