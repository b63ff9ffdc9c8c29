#include "ZubraCore/Composition/Dedupe.h"

#include "ZubraCore/Composition/TrigramSets.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QSet>

namespace {

bool isWordCodePoint(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace Dedupe {

size_t qHash(const DuplicateGroup& g, size_t seed) noexcept
{
    return qHashMulti(seed, g.keepID, g.removeIDs, g.score);
}

double dice(qsizetype shared, qsizetype lhsCount, qsizetype rhsCount)
{
    return 2.0 * double(shared) / double(lhsCount + rhsCount);
}

QString normalize(const QString& text)
{
    // Every code point that is not a letter, mark or digit separates words, as do space, tab and
    // line feed; words are joined by single spaces.
    const QString lower = text.toLower();
    QString out;
    out.reserve(lower.size());
    bool pendingSpace = false;
    const qsizetype n = lower.size();
    for (qsizetype i = 0; i < n;) {
        char32_t c = lower[i].unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && lower[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(lower[i], lower[i + 1]);
            width = 2;
        }
        if (isWordCodePoint(c)) {
            if (pendingSpace && !out.isEmpty())
                out.append(u' ');
            pendingSpace = false;
            out.append(QStringView(lower).sliced(i, width));
        } else {
            pendingSpace = true;
        }
        i += width;
    }
    return out;
}

QStringList trigrams(const QString& text)
{
    const QString nfc = text.normalized(QString::NormalizationForm_C);
    const QList<qsizetype> bounds = TextMetrics::boundaries(nfc);
    const qsizetype clusters = bounds.size() - 1;
    if (clusters < 3)
        return {nfc};
    QStringList result;
    result.reserve(clusters - 2);
    for (qsizetype k = 0; k + 3 <= clusters; ++k)
        result.append(nfc.sliced(bounds[k], bounds[k + 3] - bounds[k]));
    return result;
}

double similarity(const QString& lhs, const QString& rhs)
{
    const QString a = normalize(lhs);
    const QString b = normalize(rhs);
    if (a.isEmpty() || b.isEmpty())
        return a.isEmpty() && b.isEmpty() ? 1.0 : 0.0;
    const QStringList ta = trigrams(a);
    const QStringList tb = trigrams(b);
    const QSet<QString> setA(ta.cbegin(), ta.cend());
    const QSet<QString> setB(tb.cbegin(), tb.cend());
    qsizetype shared = 0;
    for (const QString& t : setA)
        shared += setB.contains(t) ? 1 : 0;
    return dice(shared, setA.size(), setB.size());
}

QList<DuplicateGroup> duplicateGroups(const QList<IdText>& idTextPairs, double threshold)
{
    const qsizetype n = idTextPairs.size();
    const std::vector<TrigramSets::Best> best = TrigramSets::bestEarlierMatches(idTextPairs, threshold);

    // Attach each text to its best earlier one; a target's score is its best member's.
    std::vector<QList<QUuid>> members(n);
    std::vector<double> scores(n, 0.0);
    for (qsizetype j = 0; j < n; ++j) {
        if (best[j].index < 0 || !(best[j].score > 0))
            continue;
        const qsizetype t = best[j].index;
        members[t].append(idTextPairs[j].first);
        scores[t] = std::max(scores[t], best[j].score);
    }
    QList<DuplicateGroup> groups;
    for (qsizetype t = 0; t < n; ++t) {
        if (!members[t].isEmpty())
            groups.append({idTextPairs[t].first, std::move(members[t]), scores[t]});
    }
    return groups;
}

} // namespace Dedupe
