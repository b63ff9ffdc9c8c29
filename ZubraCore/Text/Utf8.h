#pragma once
// Strict UTF-8: text from other programs either decodes completely or not at all.

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace Utf8 {

// The text, or nothing when the bytes hold an invalid or truncated sequence.
std::optional<QString> decodeStrict(QByteArrayView bytes);

} // namespace Utf8
