#include "ZubraCore/Composition/TrigramSets.h"

#include "ZubraCore/Support/ParallelChunks.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <initializer_list>
#include <optional>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Open-addressing map from a packed trigram of three one-unit characters to its token id.
class PackedTokenMap
{
public:
    PackedTokenMap()
        : m_keys(1 << 16, empty)
        , m_values(1 << 16, 0)
    {
    }

    int idFor(quint64 key, int& nextID)
    {
        if (2 * (m_size + 1) > m_keys.size())
            grow();
        const size_t mask = m_keys.size() - 1;
        for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            if (m_keys[i] == key)
                return m_values[i];
            if (m_keys[i] == empty) {
                m_keys[i] = key;
                m_values[i] = nextID++;
                ++m_size;
                return m_values[i];
            }
        }
    }

private:
    static constexpr quint64 empty = ~quint64(0); // packed keys use 48 bits
    static size_t hash(quint64 key)
    {
        key ^= key >> 29;
        key *= 0xbf58476d1ce4e5b9ULL;
        key ^= key >> 32;
        return size_t(key);
    }
    void grow()
    {
        std::vector<quint64> keys(m_keys.size() * 2, empty);
        std::vector<int> values(m_keys.size() * 2, 0);
        const size_t mask = keys.size() - 1;
        for (size_t k = 0; k < m_keys.size(); ++k) {
            if (m_keys[k] == empty)
                continue;
            size_t i = hash(m_keys[k]) & mask;
            while (keys[i] != empty)
                i = (i + 1) & mask;
            keys[i] = m_keys[k];
            values[i] = m_values[k];
        }
        m_keys.swap(keys);
        m_values.swap(values);
    }

    std::vector<quint64> m_keys;
    std::vector<int> m_values;
    size_t m_size = 0;
};

enum class Kind { absent, blank, words };

struct TextSet
{
    Kind kind = Kind::absent;
    std::vector<int> tokens; // distinct; ids, later ranks ascending
};

// The symbols of normalised ASCII text: a to z, 0 to 9 and the space, coded 1 to 37 (0: none).
constexpr int asciiSymbols = 38;

constexpr std::array<quint8, 128> asciiSymbolCodes = [] {
    std::array<quint8, 128> codes {};
    for (int c = 'a'; c <= 'z'; ++c)
        codes[c] = quint8(1 + c - 'a');
    for (int c = 'A'; c <= 'Z'; ++c)
        codes[c] = quint8(1 + c - 'A');
    for (int c = '0'; c <= '9'; ++c)
        codes[c] = quint8(27 + c - '0');
    codes[' '] = 37;
    return codes;
}();

bool isAscii(QStringView text)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Adding 0x7F80 with saturation sets a unit's top bit exactly when it is 0x80 or above.
    const __m128i bias = _mm_set1_epi16(short(0x7F80));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 8));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_adds_epu16(a, bias), _mm_adds_epu16(b, bias))) != 0)
            return false;
    }
#endif
    for (; i < n; ++i) {
        if (d[i] >= 0x80)
            return false;
    }
    return true;
}

// A text's trigrams as integer keys, worked out without shared state so that texts can be
// keyed on several threads: a trigram of three normalised ASCII symbols is coded by arithmetic,
// other trigrams of three one-unit characters are packed into an integer, and only the rest (and
// texts of fewer than three characters) are kept as strings, keyed by their place in `strings`.
struct TextKeys
{
    static constexpr quint64 packedTag = quint64(1) << 62;
    static constexpr quint64 stringTag = quint64(1) << 63;

    bool blank = false; // normalises to nothing
    bool tagged = false; // holds packed or string keys
    std::vector<quint64> keys; // repeats included
    QStringList strings;

    void addString(const QString& token)
    {
        keys.push_back(stringTag | quint64(strings.size()));
        strings.append(token);
        tagged = true;
    }
};

// A character of normalised text that the ASCII coding covers (upper case never occurs there).
bool isSymbol(char16_t c)
{
    return c < 0x80 && asciiSymbolCodes[c] != 0 && !(c >= 'A' && c <= 'Z');
}

QChar symbolCharacter(quint8 code)
{
    if (code <= 26)
        return QChar(u'a' + (code - 1));
    if (code <= 36)
        return QChar(u'0' + (code - 27));
    return QChar(u' ');
}

TextKeys keysOf(const QString& text)
{
    TextKeys result;
    if (isAscii(text)) {
        // Lower-casing and normalising ASCII needs no tables: letters and digits are words, every
        // other character separates them.
        std::vector<quint8> symbols;
        symbols.reserve(size_t(text.size()));
        bool pendingSpace = false;
        for (QChar ch : text) {
            const quint8 code = asciiSymbolCodes[ch.unicode()];
            if (code == 0 || code == 37) {
                pendingSpace = true;
                continue;
            }
            if (pendingSpace && !symbols.empty())
                symbols.push_back(37);
            pendingSpace = false;
            symbols.push_back(code);
        }
        const size_t n = symbols.size();
        if (n == 0) {
            result.blank = true;
        } else if (n < 3) {
            QString whole;
            for (quint8 code : symbols)
                whole.append(symbolCharacter(code));
            result.addString(whole);
        } else {
            result.keys.reserve(n - 2);
            quint64 code = symbols[0] * asciiSymbols + symbols[1];
            for (size_t k = 2; k < n; ++k) {
                code = (code % (asciiSymbols * asciiSymbols)) * asciiSymbols + symbols[k];
                result.keys.push_back(code);
            }
        }
        return result;
    }

    const QString normalized = Dedupe::normalize(text);
    if (normalized.isEmpty()) {
        result.blank = true;
        return result;
    }
    const QString nfc = normalized.normalized(QString::NormalizationForm_C);
    const QList<qsizetype> bounds = TextMetrics::boundaries(nfc);
    const qsizetype clusters = bounds.size() - 1;
    if (clusters < 3) {
        result.addString(nfc);
        return result;
    }
    result.keys.reserve(size_t(clusters - 2));
    const char16_t* d = reinterpret_cast<const char16_t*>(nfc.utf16());
    for (qsizetype k = 0; k + 3 <= clusters; ++k) {
        const qsizetype start = bounds[k];
        const qsizetype end = bounds[k + 3];
        if (end - start != 3) {
            result.addString(nfc.sliced(start, end - start));
            continue;
        }
        const char16_t a = d[start], b = d[start + 1], c = d[start + 2];
        if (isSymbol(a) && isSymbol(b) && isSymbol(c))
            result.keys.push_back((quint64(asciiSymbolCodes[a]) * asciiSymbols + asciiSymbolCodes[b]) * asciiSymbols
                + asciiSymbolCodes[c]);
        else {
            result.keys.push_back(TextKeys::packedTag | (quint64(a) << 32) | (quint64(b) << 16) | quint64(c));
            result.tagged = true;
        }
    }
    return result;
}

// Token ids: an ASCII trigram's id is its code; packed and string trigrams get the ids after
// all codes, in the order the texts are given.
class TaggedIDs
{
public:
    static constexpr int asciiCodes = asciiSymbols * asciiSymbols * asciiSymbols;

    // Replaces each tagged key of the text by its id.
    void resolve(TextKeys& text)
    {
        for (quint64& key : text.keys) {
            if (key & TextKeys::stringTag)
                key = quint64(stringID(text.strings.at(qsizetype(key & ~TextKeys::stringTag))));
            else if (key & TextKeys::packedTag)
                key = quint64(asciiCodes + m_packed.idFor(key & ~TextKeys::packedTag, m_next));
        }
        text.strings.clear();
    }
    int tokenCount() const { return asciiCodes + m_next; }

private:
    int stringID(const QString& token)
    {
        const auto it = m_strings.constFind(token);
        if (it != m_strings.cend())
            return it.value();
        m_strings.insert(token, asciiCodes + m_next);
        return asciiCodes + m_next++;
    }

    PackedTokenMap m_packed;
    QHash<QString, int> m_strings;
    int m_next = 0;
};

// The number of shared tokens of two ascending lists, or -1 as soon as fewer than `needed` remain
// possible.
qsizetype sharedAtLeast(const std::vector<int>& a, const std::vector<int>& b, qsizetype needed)
{
    qsizetype shared = 0;
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (shared + qsizetype(std::min(a.size() - i, b.size() - j)) < needed)
            return -1;
        if (a[i] < b[j]) {
            ++i;
        } else if (b[j] < a[i]) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    return shared >= needed ? shared : -1;
}

// Token counts per bucket (rank modulo the bucket count), at two sizes. Two sets share at most
// the sum over the buckets of the smaller count: a bound that costs a pass over the buckets
// instead of a merge. The coarse rows (at most 256 buckets) already rule out nearly every pair
// that cannot reach the threshold; the fine ones (about one token per bucket) settle the rest.
class BucketCounts
{
    static constexpr qsizetype maxBytes = qsizetype(64) << 20;

    struct Level
    {
        qsizetype buckets = 0;
        std::vector<quint8> counts;

        const quint8* row(qsizetype text) const { return counts.data() + size_t(text * buckets); }
        quint8* row(qsizetype text) { return counts.data() + size_t(text * buckets); }
    };

public:
    BucketCounts(qsizetype texts, qsizetype averageSize)
    {
        qsizetype fine = 64;
        while (fine < 4096 && fine * 2 <= averageSize && texts * fine * 2 <= maxBytes)
            fine *= 2;
        m_fine.buckets = fine;
        m_coarse.buckets = std::min<qsizetype>(fine, 256);
        m_fine.counts.assign(size_t(texts * m_fine.buckets), 0);
        m_coarse.counts.assign(size_t(texts * m_coarse.buckets), 0);
        m_exact.assign(size_t(texts), 1);
    }

    // Texts may be filled on several threads, each text by one.
    void fill(qsizetype text, const std::vector<int>& tokens)
    {
        for (Level* level : {&m_fine, &m_coarse}) {
            quint8* counts = level->row(text);
            for (int rank : tokens) {
                quint8& c = counts[size_t(rank) & size_t(level->buckets - 1)];
                if (c == 255)
                    m_exact[size_t(text)] = 0; // saturated: no bound for this text
                else
                    ++c;
            }
        }
    }

    // An upper bound of the shared tokens, below `needed` whenever one of the two levels gives
    // one; -1 when there is none to give.
    qsizetype bound(qsizetype a, qsizetype b, qsizetype needed) const
    {
        if (!m_exact[size_t(a)] || !m_exact[size_t(b)])
            return -1;
        const qsizetype coarse = sumOfMinima(m_coarse, a, b);
        if (coarse < needed || m_coarse.buckets == m_fine.buckets)
            return coarse;
        return sumOfMinima(m_fine, a, b);
    }

private:
    static qsizetype sumOfMinima(const Level& level, qsizetype a, qsizetype b)
    {
        const quint8* x = level.row(a);
        const quint8* y = level.row(b);
#if defined(__SSE2__)
        __m128i sum = _mm_setzero_si128();
        for (qsizetype k = 0; k < level.buckets; k += 16) {
            const __m128i lo = _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + k)));
            sum = _mm_add_epi64(sum, _mm_sad_epu8(lo, _mm_setzero_si128()));
        }
        return qsizetype(_mm_cvtsi128_si64(sum)) + qsizetype(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum)));
#else
        qsizetype total = 0;
        for (qsizetype k = 0; k < level.buckets; ++k)
            total += std::min(x[k], y[k]);
        return total;
#endif
    }

    Level m_fine;
    Level m_coarse;
    std::vector<quint8> m_exact; // bytes, not bits: texts are filled on several threads
};

} // namespace

namespace TrigramSets {

std::vector<Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold)
{
    const qsizetype n = texts.size();
    std::vector<Best> best(n);
    // No similarity exceeds 1, and only positive scores attach.
    if (!(threshold <= 1.0))
        return best;

    std::vector<TextSet> sets(n);
    // Keys on several threads; ids for the few packed and string trigrams in input order; then
    // each text's distinct ids and their frequencies on several threads again.
    std::vector<TextKeys> keys(static_cast<size_t>(n));
    const int keyChunks = ParallelChunks::chunkCount(n, 64);
    ParallelChunks::run(n, keyChunks, [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j) {
            if (!texts[j].second.isEmpty())
                keys[size_t(j)] = keysOf(texts[j].second);
        }
    });
    TaggedIDs tagged;
    for (TextKeys& k : keys) {
        if (k.tagged)
            tagged.resolve(k);
    }
    const int tokenCount = tagged.tokenCount();
    std::vector<std::vector<int>> chunkFrequency(static_cast<size_t>(keyChunks));
    ParallelChunks::run(n, keyChunks, [&](int chunk, qsizetype begin, qsizetype end) {
        std::vector<int>& frequency = chunkFrequency[size_t(chunk)];
        frequency.assign(size_t(tokenCount), 0);
        for (qsizetype j = begin; j < end; ++j) {
            if (texts[j].second.isEmpty())
                continue;
            TextKeys& k = keys[size_t(j)];
            if (k.blank) {
                sets[j].kind = Kind::blank;
            } else {
                sets[j].kind = Kind::words;
                std::vector<int>& tokens = sets[j].tokens;
                tokens.reserve(k.keys.size());
                for (quint64 key : k.keys) {
                    // A first occurrence in this text counts; the mark says it has been counted.
                    int& f = frequency[size_t(key)];
                    if (f >= 0) {
                        tokens.push_back(int(key));
                        f = -f - 1;
                    }
                }
                for (int id : tokens)
                    frequency[size_t(id)] = -frequency[size_t(id)] - 1 + 1;
            }
            k = TextKeys();
        }
    });
    std::vector<int> frequency(static_cast<size_t>(tokenCount), 0);
    for (const std::vector<int>& part : chunkFrequency) {
        for (size_t id = 0; id < part.size(); ++id)
            frequency[id] += part[id];
    }

    // Tokens ranked rarest first, so that prefixes hold the tokens that find the fewest candidates:
    // a counting sort on frequency (ties by id); each set rewritten as sorted ranks, the sets shared
    // out among threads.
    int maxFrequency = 0;
    for (int f : frequency)
        maxFrequency = std::max(maxFrequency, f);
    std::vector<int> firstOfFrequency(size_t(maxFrequency) + 2, 0);
    for (int f : frequency)
        ++firstOfFrequency[size_t(f) + 1];
    for (size_t f = 1; f < firstOfFrequency.size(); ++f)
        firstOfFrequency[f] += firstOfFrequency[f - 1];
    // Codes that no text holds come first; ranks start after them.
    const int unused = firstOfFrequency[1];
    const int usedCount = tokenCount - unused;
    std::vector<int> rank(static_cast<size_t>(tokenCount));
    for (int id = 0; id < tokenCount; ++id)
        rank[size_t(id)] = firstOfFrequency[size_t(frequency[size_t(id)])]++ - unused;
    // A set's ranks come out sorted from a bitmap of all ranks: a pass over its words costs less
    // than sorting.
    ParallelChunks::run(n, ParallelChunks::chunkCount(n, 64), [&](int, qsizetype begin, qsizetype end) {
        std::vector<quint64> marks((size_t(usedCount) + 63) / 64, 0);
        for (qsizetype j = begin; j < end; ++j) {
            std::vector<int>& tokens = sets[size_t(j)].tokens;
            if (tokens.empty())
                continue;
            int low = usedCount;
            int high = 0;
            for (int id : tokens) {
                const int r = rank[size_t(id)];
                marks[size_t(r) / 64] |= quint64(1) << (r % 64);
                low = std::min(low, r);
                high = std::max(high, r);
            }
            tokens.clear();
            for (size_t word = size_t(low) / 64; word <= size_t(high) / 64; ++word) {
                for (quint64 bits = marks[word]; bits; bits &= bits - 1)
                    tokens.push_back(int(word * 64) + std::countr_zero(bits));
                marks[word] = 0;
            }
        }
    });

    // A pair scores at least t only when it shares at least t * (|A| + |B|) / 2 tokens, and so each
    // set holds at least t / (2 - t) of the other's size in common. The slack keeps every filter from
    // dropping a pair whose computed score rounds up to the threshold.
    const double t = std::max(threshold, 0.0);
    const double ratio = t / (2.0 - t);
    constexpr double slack = 1e-6;
    auto minimalOverlap
        = [&](qsizetype size) { return std::max<qsizetype>(1, qsizetype(std::ceil(ratio * double(size) - slack))); };
    auto neededOverlap = [&](qsizetype a, qsizetype b) {
        return std::max<qsizetype>(1, qsizetype(std::ceil(t * double(a + b) / 2.0 - slack)));
    };

    qsizetype words = 0;
    qsizetype totalSize = 0;
    for (const TextSet& s : sets) {
        if (s.kind == Kind::words) {
            ++words;
            totalSize += qsizetype(s.tokens.size());
        }
    }
    BucketCounts buckets(n, words ? totalSize / words : 0);
    ParallelChunks::run(n, ParallelChunks::chunkCount(n, 64), [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j)
            buckets.fill(j, sets[j].tokens);
    });

    // Two texts that normalise to nothing score 1 against each other, 0 against the rest.
    qsizetype firstBlank = -1;
    std::vector<int> wordTexts; // positions of the texts with words, ascending
    for (qsizetype j = 0; j < n; ++j) {
        if (sets[j].kind == Kind::blank) {
            if (firstBlank < 0)
                firstBlank = j;
            else if (1.0 >= threshold)
                best[j] = {firstBlank, 1.0};
        } else if (sets[j].kind == Kind::words) {
            wordTexts.push_back(int(j));
        }
    }

    // Prefix filter: two sets that share enough tokens share one among the first
    // size - minimalOverlap(size) + 1 of each (rarest first). The index maps a token to the texts
    // holding it in that prefix, in ascending order, so that a text reads the earlier ones as a
    // head of each list. A text probes it only when the prefix's tokens are rare enough that this
    // costs less than looking at every earlier text (judged from their frequencies, which bound the
    // lists); otherwise every earlier text is a candidate. Without a text that probes there is no
    // index to build.
    auto prefixOf = [&](qsizetype size) { return size - minimalOverlap(size) + 1; };
    std::vector<int> rankFrequency(static_cast<size_t>(usedCount), 0);
    for (int id = 0; id < tokenCount; ++id) {
        if (frequency[size_t(id)] > 0)
            rankFrequency[size_t(rank[size_t(id)])] = frequency[size_t(id)];
    }
    std::vector<quint8> probes(wordTexts.size(), 0);
    bool anyProbes = false;
    for (size_t w = 0; w < wordTexts.size(); ++w) {
        const std::vector<int>& tokens = sets[wordTexts[w]].tokens;
        const qsizetype prefix = prefixOf(qsizetype(tokens.size()));
        size_t cost = 0;
        for (qsizetype p = 0; p < prefix && cost < w; ++p)
            cost += size_t(rankFrequency[size_t(tokens[p])]);
        probes[w] = cost < w;
        anyProbes = anyProbes || probes[w];
    }
    std::vector<std::vector<int>> index(anyProbes ? static_cast<size_t>(usedCount) : 0);
    if (anyProbes) {
        for (int j : wordTexts) {
            const TextSet& s = sets[j];
            const qsizetype prefix = prefixOf(qsizetype(s.tokens.size()));
            for (qsizetype p = 0; p < prefix; ++p)
                index[s.tokens[p]].push_back(j);
        }
    }

    // Scores one pair into the best match found so far for the later text.
    auto consider = [&](int i, int j, Best& found) {
        const qsizetype size = qsizetype(sets[j].tokens.size());
        const qsizetype other = qsizetype(sets[i].tokens.size());
        if (double(other) + slack < ratio * double(size) || double(size) + slack < ratio * double(other))
            return;
        const qsizetype needed = neededOverlap(other, size);
        const qsizetype bound = buckets.bound(i, j, needed);
        if (bound >= 0 && bound < needed)
            return;
        const qsizetype shared = sharedAtLeast(sets[i].tokens, sets[j].tokens, needed);
        if (shared < 0)
            return;
        const double score = Dedupe::dice(shared, other, size);
        // Pairs come in no particular order: of equal scores the earliest text wins.
        if (score >= threshold && score > 0
            && (found.index < 0 || score > found.score || (score == found.score && i < found.index)))
            found = {i, score};
    };

    // Each text's best earlier match depends on nothing but the sets, so blocks of texts are shared
    // out among threads, interleaved because later texts have more earlier ones to look at. A text
    // whose prefix finds few candidates looks at those; the others of a block look at every
    // earlier text together, a tile of earlier texts at a time, so that the bucket rows of both
    // stay in the cache.
    constexpr size_t blockTexts = 32;
    constexpr size_t tileTexts = 64;
    const size_t blocks = (wordTexts.size() + blockTexts - 1) / blockTexts;
    const int chunks = ParallelChunks::chunkCount(qsizetype(wordTexts.size()), 256);
    ParallelChunks::run(chunks, chunks, [&](int chunk, qsizetype, qsizetype) {
        std::vector<qsizetype> seenBy(n, -1);
        std::vector<int> candidates;
        std::vector<size_t> everyEarlier; // positions in wordTexts of the block's texts that look at all
        for (size_t block = size_t(chunk); block < blocks; block += size_t(chunks)) {
            const size_t first = block * blockTexts;
            const size_t last = std::min(wordTexts.size(), first + blockTexts);
            everyEarlier.clear();
            for (size_t w = first; w < last; ++w) {
                const int j = wordTexts[w];
                const std::vector<int>& tokens = sets[j].tokens;
                const qsizetype prefix = prefixOf(qsizetype(tokens.size()));
                if (!probes[w]) {
                    everyEarlier.push_back(w);
                    continue;
                }
                candidates.clear();
                for (qsizetype p = 0; p < prefix; ++p) {
                    for (int i : index[tokens[p]]) {
                        if (i >= j)
                            break;
                        if (seenBy[i] != j) {
                            seenBy[i] = j;
                            candidates.push_back(i);
                        }
                    }
                }
                Best found;
                for (int i : candidates)
                    consider(i, j, found);
                best[j] = found;
            }
            if (everyEarlier.empty())
                continue;
            std::vector<Best> found(everyEarlier.size());
            for (size_t tile = 0; tile < everyEarlier.back(); tile += tileTexts) {
                for (size_t e = 0; e < everyEarlier.size(); ++e) {
                    const size_t w = everyEarlier[e];
                    const size_t end = std::min(w, tile + tileTexts);
                    for (size_t k = tile; k < end; ++k)
                        consider(wordTexts[k], wordTexts[w], found[e]);
                }
            }
            for (size_t e = 0; e < everyEarlier.size(); ++e)
                best[wordTexts[everyEarlier[e]]] = found[e];
        }
    });
    return best;
}

} // namespace TrigramSets
