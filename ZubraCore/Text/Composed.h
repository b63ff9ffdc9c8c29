#pragma once
// Text in Unicode's composed form (NFC), the form names and addresses are compared in.

#include <QString>
#include <algorithm>

namespace Composed {

// Text below U+0300 holds no combining marks and no decomposable characters other than
// precomposed letters, which NFC keeps: it is already in NFC.
inline bool isSurely(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x300; });
}

// The text in NFC; most text is surely composed and comes back shared, without the normaliser's
// pass and copy.
inline QString of(const QString& text)
{
    return isSurely(text) ? text : text.normalized(QString::NormalizationForm_C);
}

} // namespace Composed
