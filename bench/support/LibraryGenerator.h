#pragma once
// Generates a large, realistic library for the benchmarks: varied texts of about 1 KB per
// selection (plain text; rich captures from web pages, converted as a capture converts them;
// Markdown across the passage or at its start), web and file sources, groups and prompt drafts.

#include "ZubraCore/Library/StoreSnapshot.h"

namespace LibraryGenerator {

// The same library for the same arguments.
StoreSnapshot generate(int selections = 50000, quint32 seed = 20250314);

} // namespace LibraryGenerator
