#pragma once
// Collation keys of names (localized, ignoring case), remembered across calls: the library list
// re-sorts and the sidebar re-groups on every change, while the set of app and source names
// changes slowly. One memory per thread, for the locale current when a CollationKeys is made.

#include <QByteArray>
#include <QHash>
#include <QString>

class CollationKeys
{
public:
    // Binds to this thread's memory, emptied first when the locale changed or it grew too large.
    CollationKeys();

    // The key of TextCollation::sortKeyCaseInsensitive for the text.
    const QByteArray& of(const QString& text);

    static constexpr qsizetype maxRemembered = 200'000;

private:
    QHash<QString, QByteArray>* m_keys;
};
