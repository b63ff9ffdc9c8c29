#pragma once
// The search behind near-duplicate finding: every text's trigram set as sorted token ranks, and a
// join that finds, for each text, the earlier text of highest similarity without comparing all
// pairs. Size and prefix filters skip pairs that cannot reach the threshold; every remaining pair
// is scored exactly as the plain similarity does.

#include "ZubraCore/Composition/Dedupe.h"

#include <vector>

namespace TrigramSets {

struct Best
{
    qsizetype index = -1; // the earlier text it attaches to, or -1
    double score = 0;
};

// For each text, the earliest earlier text of highest similarity at or above the threshold.
std::vector<Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold);

} // namespace TrigramSets
