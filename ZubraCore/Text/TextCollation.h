#pragma once
// Localized, case-insensitive comparison of user-visible names (source names, app names).
// Follows QLocale(); the "C" locale, where QCollator would bypass ICU, uses en_US.

#include <QByteArray>
#include <QString>

namespace TextCollation {

// <0, 0, >0 as a sorts before, with or after b, ignoring letter case.
int compareCaseInsensitive(const QString& a, const QString& b);

// A binary key whose byte order equals compareCaseInsensitive's order; for sorting many items.
QByteArray sortKeyCaseInsensitive(const QString& text);

} // namespace TextCollation
