#include "ZubraCore/Text/TextCollation.h"

#include <QLocale>
#include <memory>
#include <unicode/coll.h>
#include <unicode/locid.h>

namespace {

QString collationLocaleName()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    return locale.bcp47Name();
}

// One collator per thread, rebuilt when the default locale changes. Secondary strength
// ignores letter case and keeps accents significant, as a case-insensitive comparison should.
icu::Collator* collator()
{
    thread_local std::unique_ptr<icu::Collator> cached;
    thread_local QString cachedName;
    const QString name = collationLocaleName();
    if (!cached || cachedName != name) {
        UErrorCode status = U_ZERO_ERROR;
        const QByteArray tag = name.toLatin1();
        icu::Locale locale = icu::Locale::forLanguageTag(tag.constData(), status);
        if (U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            locale = icu::Locale("en_US");
        }
        cached.reset(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status))
            cached.reset();
        if (cached)
            cached->setStrength(icu::Collator::SECONDARY);
        cachedName = name;
    }
    return cached.get();
}

} // namespace

namespace TextCollation {

int compareCaseInsensitive(const QString& a, const QString& b)
{
    icu::Collator* c = collator();
    if (!c)
        return QString::compare(a, b, Qt::CaseInsensitive);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = c->compare(reinterpret_cast<const UChar*>(a.utf16()), int32_t(a.size()),
        reinterpret_cast<const UChar*>(b.utf16()), int32_t(b.size()), status);
    if (U_FAILURE(status))
        return QString::compare(a, b, Qt::CaseInsensitive);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

QByteArray sortKeyCaseInsensitive(const QString& text)
{
    icu::Collator* c = collator();
    if (!c)
        return text.toCaseFolded().toUtf8();
    const icu::UnicodeString source(false, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    QByteArray key(64, Qt::Uninitialized);
    int32_t needed = c->getSortKey(source, reinterpret_cast<uint8_t*>(key.data()), int32_t(key.size()));
    if (needed > key.size()) {
        key.resize(needed);
        needed = c->getSortKey(source, reinterpret_cast<uint8_t*>(key.data()), int32_t(key.size()));
    }
    key.resize(needed > 0 ? needed - 1 : 0); // drop the terminating zero byte
    return key;
}

} // namespace TextCollation
