#pragma once
// The X PRIMARY selection (the text last highlighted), read directly from its owner with a
// deadline and a size cap.

#include <QString>
#include <optional>

class XcbConnection;

namespace PrimarySelection {

// The process that owns the selection, or zero when nobody does or it cannot be told.
qint32 ownerProcess(XcbConnection& connection);

// The selection as text (UTF-8, else Latin-1); nothing when there is none, when the owner does
// not answer within the timeout, or when the text exceeds maxBytes (incremental transfers,
// meant for large data, are refused).
std::optional<QString> read(XcbConnection& connection, int timeoutMs = 500, int maxBytes = 4 * 1024 * 1024);

} // namespace PrimarySelection
