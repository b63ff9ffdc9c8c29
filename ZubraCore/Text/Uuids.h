#pragma once
// The one text form of identifiers: 36 characters, upper-case hexadecimal, no braces.

#include <QString>
#include <QStringView>
#include <QUuid>
#include <optional>

namespace Uuids {

QString toText(const QUuid& id);

// Parses exactly 8-4-4-4-12 hexadecimal digits in either letter case; anything else gives nothing.
std::optional<QUuid> parse(QStringView text);

} // namespace Uuids
