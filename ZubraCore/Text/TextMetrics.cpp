#include "ZubraCore/Text/TextMetrics.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

namespace {

// One character iterator per thread: creating one costs far more than using it.
icu::BreakIterator* characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status))
            it.reset();
        return it;
    }();
    return iterator.get();
}

// Points the shared iterator at a UTF-16 range without copying it.
class IteratorOver
{
public:
    IteratorOver(QStringView text)
    {
        UErrorCode status = U_ZERO_ERROR;
        utext_openUChars(&m_utext, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
        m_iterator = characterIterator();
        if (U_FAILURE(status) || !m_iterator) {
            m_iterator = nullptr;
            return;
        }
        m_iterator->setText(&m_utext, status);
        if (U_FAILURE(status))
            m_iterator = nullptr;
    }
    ~IteratorOver() { utext_close(&m_utext); }
    IteratorOver(const IteratorOver&) = delete;
    IteratorOver& operator=(const IteratorOver&) = delete;

    icu::BreakIterator* get() const { return m_iterator; }

private:
    UText m_utext = UTEXT_INITIALIZER;
    icu::BreakIterator* m_iterator = nullptr;
};

qsizetype countRange(QStringView text)
{
    if (text.isEmpty())
        return 0;
    IteratorOver over(text);
    icu::BreakIterator* it = over.get();
    if (!it)
        return text.size(); // ICU unavailable: code units are the closest safe answer
    qsizetype n = 0;
    it->first();
    while (it->next() != icu::BreakIterator::DONE)
        ++n;
    return n;
}

inline bool isAscii(char16_t c)
{
    return c < 0x80;
}

// Between two ASCII characters there is always a cluster boundary, except inside CR LF.
inline bool asciiBoundaryBetween(char16_t a, char16_t b)
{
    return isAscii(a) && isAscii(b) && !(a == u'\r' && b == u'\n');
}

// Calls visit(start, end, simple) for consecutive ranges that split the text at certain
// boundaries; a simple range is one ASCII cluster (a character or CR LF), any other range
// holds non-ASCII text and needs ICU.
template <typename Visit> void forEachRange(QStringView text, Visit visit)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        if (isAscii(d[i]) && (i + 1 == n || isAscii(d[i + 1]))) {
            const qsizetype len = (d[i] == u'\r' && i + 1 < n && d[i + 1] == u'\n') ? 2 : 1;
            visit(i, i + len, true);
            i += len;
            continue;
        }
        // A complex range runs to the next certain boundary.
        qsizetype j = i + 1;
        while (j < n && !(j > i && asciiBoundaryBetween(d[j - 1], d[j])))
            ++j;
        visit(i, j, false);
        i = j;
    }
}

} // namespace

namespace TextMetrics {

qsizetype count(QStringView text)
{
    qsizetype total = 0;
    forEachRange(text, [&](qsizetype start, qsizetype end, bool simple) {
        total += simple ? 1 : countRange(text.sliced(start, end - start));
    });
    return total;
}

qsizetype countWithIcu(QStringView text)
{
    return countRange(text);
}

QList<qsizetype> boundaries(QStringView text)
{
    QList<qsizetype> result;
    result.reserve(text.size() + 1);
    result.append(0);
    forEachRange(text, [&](qsizetype start, qsizetype end, bool simple) {
        if (simple) {
            result.append(end);
            return;
        }
        const QStringView range = text.sliced(start, end - start);
        IteratorOver over(range);
        icu::BreakIterator* it = over.get();
        if (!it) {
            for (qsizetype k = start + 1; k <= end; ++k)
                result.append(k);
            return;
        }
        it->first();
        for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next())
            result.append(start + b);
    });
    return result;
}

qsizetype prefixLength(QStringView text, qsizetype n)
{
    if (n <= 0)
        return 0;
    qsizetype clusters = 0;
    qsizetype offset = text.size();
    bool done = false;
    forEachRange(text, [&](qsizetype start, qsizetype end, bool simple) {
        if (done)
            return;
        if (simple) {
            if (++clusters == n) {
                offset = end;
                done = true;
            }
            return;
        }
        const QStringView range = text.sliced(start, end - start);
        IteratorOver over(range);
        icu::BreakIterator* it = over.get();
        if (!it) {
            const qsizetype take = std::min(n - clusters, end - start);
            clusters += take;
            if (clusters == n) {
                offset = start + take;
                done = true;
            }
            return;
        }
        it->first();
        for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) {
            if (++clusters == n) {
                offset = start + b;
                done = true;
                return;
            }
        }
    });
    return offset;
}

QString prefix(const QString& text, qsizetype n)
{
    return text.first(prefixLength(text, n));
}

bool isBoundary(QStringView text, qsizetype offset)
{
    if (offset <= 0 || offset >= text.size())
        return offset == 0 || offset == text.size();
    const char16_t* d = text.utf16();
    if (asciiBoundaryBetween(d[offset - 1], d[offset]))
        return true;
    IteratorOver over(text);
    icu::BreakIterator* it = over.get();
    return it ? it->isBoundary(static_cast<int32_t>(offset)) : true;
}

qsizetype indexOfLineFeed(QStringView text, qsizetype from)
{
    for (qsizetype i = text.indexOf(u'\n', from); i >= 0; i = text.indexOf(u'\n', i + 1)) {
        if (!(i > 0 && text[i - 1] == u'\r'))
            return i;
    }
    return -1;
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = indexOfLineFeed(text); i >= 0; i = indexOfLineFeed(text, i + 1)) {
        lines.append(text.sliced(start, i - start));
        start = i + 1;
    }
    lines.append(text.sliced(start));
    return lines;
}

} // namespace TextMetrics
