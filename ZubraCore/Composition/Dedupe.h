#pragma once
// Finds sources whose texts are nearly the same: the Dice coefficient of their sets of character
// trigrams, after normalisation. Each later text attaches to the one earlier text it resembles most.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <utility>

namespace Dedupe {

struct DuplicateGroup
{
    QUuid keepID; // the earlier text, which stays
    QList<QUuid> removeIDs; // later texts attached to it, in input order, never empty
    double score = 0; // the highest similarity among them

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

size_t qHash(const DuplicateGroup& g, size_t seed = 0) noexcept;

using IdText = std::pair<QUuid, QString>;

// Groups ordered by the position of keepID in the input. Empty texts take part in no comparison;
// only a positive best score at or above the threshold attaches a text.
QList<DuplicateGroup> duplicateGroups(const QList<IdText>& idTextPairs, double threshold);

// 0 to 1: the Dice coefficient of the trigram sets of both normalised texts; two texts that
// normalise to nothing are alike (1), one of them alone is unlike anything (0).
double similarity(const QString& lhs, const QString& rhs);

// Lower-case words of letters, marks and digits separated by single spaces.
QString normalize(const QString& text);

// Every window of three characters in order, repeats included; a text of fewer than three
// characters is its own only element. In NFC, so canonically equal windows are equal.
QStringList trigrams(const QString& text);

// 2 * shared / (lhsCount + rhsCount), the one formula every comparison uses.
double dice(qsizetype shared, qsizetype lhsCount, qsizetype rhsCount);

} // namespace Dedupe
