#include "ZubraCore/Text/TextMetrics.h"

#include <QChar>
#include <array>
#include <memory>
#include <unicode/uchar.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// Code units that are a whole code point whose grapheme-break class is "Other" or a control:
// ASCII and most of the rest of the basic plane (CJK, kana, Latin, Cyrillic, Greek letters...).
// No rule joins two of them except CR LF, so between two such units a boundary is certain.
class SimpleUnits
{
public:
    SimpleUnits()
    {
        for (char32_t c = 0; c < 0x10000; ++c) {
            const auto kind = u_getIntPropertyValue(UChar32(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
            const bool simple = c < 0x80 || (!QChar::isSurrogate(c) && (kind == U_GCB_OTHER || kind == U_GCB_CONTROL));
            if (simple)
                m_bits[c >> 6] |= quint64(1) << (c & 63);
        }
    }
    bool contains(char16_t c) const { return (m_bits[c >> 6] >> (c & 63)) & 1; }

private:
    std::array<quint64, 1024> m_bits {};
};

const SimpleUnits& simpleUnits()
{
    static const SimpleUnits units;
    return units;
}

// Between two simple units there is always a cluster boundary, except inside CR LF.
inline bool certainBoundaryBetween(const SimpleUnits& units, char16_t a, char16_t b)
{
    return units.contains(a) && units.contains(b) && !(a == u'\r' && b == u'\n');
}

// Whether eight units from `d` are all simple ones that a range test finds: ASCII other than a
// carriage return, CJK ideographs, kana and CJK punctuation (all of the "Other" break class).
inline bool plainBlock(const char16_t* d)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
    const __m128i zero = _mm_setzero_si128();
    // lo <= v <= hi, unsigned: (v - lo) wraps below lo, and then exceeds hi - lo.
    auto within = [&](char16_t lo, char16_t hi) {
        const __m128i offset = _mm_sub_epi16(v, _mm_set1_epi16(short(lo)));
        return _mm_cmpeq_epi16(_mm_subs_epu16(offset, _mm_set1_epi16(short(hi - lo))), zero);
    };
    const __m128i ascii = _mm_andnot_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(u'\r')), within(0, 0x7F));
    const __m128i wide = _mm_or_si128(_mm_or_si128(within(0x4E00, 0x9FFF), within(0x3000, 0x3029)),
        _mm_or_si128(within(0x3041, 0x3096), within(0x30A1, 0x30FA)));
    return _mm_movemask_epi8(_mm_or_si128(ascii, wide)) == 0xFFFF;
#else
    for (int k = 0; k < 8; ++k) {
        const char16_t c = d[k];
        const bool plain = (c < 0x80 && c != u'\r') || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3000 && c <= 0x3029)
            || (c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA);
        if (!plain)
            return false;
    }
    return true;
#endif
}

// Simple units between two complex ones that still go to ICU with them in one range.
constexpr qsizetype nearComplex = 8;

// Calls visit(start, end, clusters) for consecutive ranges that split the text at certain
// boundaries. A simple range is a run of simple units whose clusters are known (each unit, CR LF
// once) and `clusters` is their number; any other range gets -1 and needs ICU. Runs of plain
// ASCII (and of CJK text) are skipped sixteen units at a time.
template <typename Visit> void forEachRange(QStringView text, Visit visit)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    const SimpleUnits& units = simpleUnits();
    auto isSimple = [&units](char16_t c) { return c < 0x80 || units.contains(c); };
    qsizetype i = 0;
    while (i < n) {
        // A simple run: each unit j taken is a cluster (or CR LF) with a certain boundary after it.
        qsizetype j = i;
        qsizetype clusters = 0;
        qsizetype scalarUntil = j; // after a block that is not plain ASCII, step through it
        while (j < n) {
            if (j >= scalarUntil && j + 17 <= n) {
                if (plainBlock(d + j) && plainBlock(d + j + 8)) {
                    // Sixteen clusters, the last one settled only when the unit after it is simple.
                    const qsizetype step = isSimple(d[j + 16]) ? 16 : 15;
                    j += step;
                    clusters += step;
                    continue;
                }
                scalarUntil = j + 16;
            }
            // Up to the next block: a stretch of simple units other than CR, each a cluster once
            // the unit after it is known to be simple too; then a CR on its own or in CR LF.
            const qsizetype stop = std::min(n, std::max(scalarUntil, j + 1));
            qsizetype k = j;
            while (k < stop && d[k] != u'\r' && isSimple(d[k]))
                ++k;
            bool blocked = false;
            if (k > j) {
                const bool settled = k == n || isSimple(d[k]);
                const qsizetype taken = settled ? k - j : k - 1 - j;
                clusters += taken;
                j += taken;
                blocked = !settled;
            } else if (d[j] == u'\r') {
                const qsizetype len = (j + 1 < n && d[j + 1] == u'\n') ? 2 : 1;
                if (j + len == n || isSimple(d[j + len])) {
                    j += len;
                    ++clusters;
                } else {
                    blocked = true;
                }
            } else {
                blocked = true;
            }
            if (blocked)
                break;
        }
        if (j > i) {
            visit(i, j, clusters);
            i = j;
            if (i >= n)
                break;
        }
        // A complex range runs to a certain boundary. Setting ICU up costs more than stepping it
        // over a few simple units, so a range goes on while the next complex unit is near.
        j = i + 1;
        for (;;) {
            while (j < n && !certainBoundaryBetween(units, d[j - 1], d[j]))
                ++j;
            qsizetype k = j;
            const qsizetype near = std::min(n, j + nearComplex);
            while (k < near && isSimple(d[k]))
                ++k;
            if (k == near)
                break;
            j = k + 1;
        }
        visit(i, j, qsizetype(-1));
        i = j;
    }
}

} // namespace

namespace TextMetrics {

qsizetype count(QStringView text)
{
    qsizetype total = 0;
    forEachRange(text, [&](qsizetype start, qsizetype end, qsizetype clusters) {
        total += clusters >= 0 ? clusters : countRange(text.sliced(start, end - start));
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
    const char16_t* d = text.utf16();
    forEachRange(text, [&](qsizetype start, qsizetype end, qsizetype clusters) {
        if (clusters >= 0) {
            for (qsizetype k = start + 1; k <= end; ++k) {
                if (!(d[k - 1] == u'\r' && k < end && d[k] == u'\n'))
                    result.append(k);
            }
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
    const char16_t* d = text.utf16();
    forEachRange(text, [&](qsizetype start, qsizetype end, qsizetype simple) {
        if (done)
            return;
        if (simple >= 0) {
            if (clusters + simple < n) {
                clusters += simple;
                return;
            }
            for (qsizetype k = start + 1; k <= end; ++k) {
                if (d[k - 1] == u'\r' && k < end && d[k] == u'\n')
                    continue;
                if (++clusters == n) {
                    offset = k;
                    done = true;
                    return;
                }
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
    if (certainBoundaryBetween(simpleUnits(), d[offset - 1], d[offset]))
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

QString oneLine(QString text)
{
    using namespace Qt::StringLiterals;
    text.replace(u"\r\n"_s, u" "_s);
    for (QChar& c : text)
        if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == QChar(0x85) || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = u' ';
    return text;
}

} // namespace TextMetrics
