#pragma once
// The near-duplicate join as it stood before integer-coded trigram sets, kept as the baseline of
// the composition benchmark.

#include "ZubraCore/Composition/TrigramSets.h"

namespace PreviousDedupe {

std::vector<TrigramSets::Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold);

} // namespace PreviousDedupe
