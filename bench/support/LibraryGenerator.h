#pragma once
// Generates a large, realistic library for the benchmarks: varied texts of about 1 KB per
// selection (plain text; rich captures from web pages, converted as a capture converts them;
// Markdown across the passage or at its start), web and file sources, groups and prompt drafts.

#include "ZubraCore/Library/StoreSnapshot.h"

namespace LibraryGenerator {

// The same library for the same arguments.
StoreSnapshot generate(int selections = 50000, quint32 seed = 20250314);

// A library of short captures a minute apart, newest first, from five applications in turn: a third
// with the web address https://siteN.example.org/pageN, a third with the file /home/user/fileN.txt
// (N the store index, so each its own source), a third bare; every tenth (index 0 included) in the
// first of six groups, "Research"; two drafts whose entries name the selections 0, 5 and 7. The
// selections' identifiers are numbered in sequence.
StoreSnapshot research(int selections = 50000, quint32 seed = 20260412);

} // namespace LibraryGenerator
