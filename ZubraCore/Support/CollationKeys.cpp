#include "ZubraCore/Support/CollationKeys.h"

#include "ZubraCore/Text/TextCollation.h"

#include <QLocale>

CollationKeys::CollationKeys()
{
    thread_local QHash<QString, QByteArray> keys;
    thread_local QString localeName;
    const QString current = QLocale().bcp47Name();
    if (current != localeName || keys.size() > maxRemembered) {
        keys.clear();
        localeName = current;
    }
    m_keys = &keys;
}

const QByteArray& CollationKeys::of(const QString& text)
{
    auto it = m_keys->find(text);
    if (it == m_keys->end())
        it = m_keys->insert(text, TextCollation::sortKeyCaseInsensitive(text));
    return *it;
}
