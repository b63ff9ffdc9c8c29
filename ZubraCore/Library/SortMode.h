#pragma once
// The four orders of the library list, and the search test of the list.

#include "ZubraCore/Library/Selection.h"

#include <QList>
#include <QString>
#include <optional>

enum class SortMode { newestFirst, oldestFirst, byApp, bySource };

namespace SortModes {

// All cases in picker order.
const QList<SortMode>& allCases();

// "Newest first", "Oldest first", "By app", "By source"; also the mode's id.
QString rawValue(SortMode mode);

// Matches the raw values exactly (case and spaces included).
std::optional<SortMode> fromRawValue(const QString& raw);

// The selections in the mode's order; a stable sort. "By app" and "By source" order names
// localized and ignoring case; names that differ only in case follow the first appearance of
// each exact name in the input; selections with the same name come newest first.
QList<Selection> sort(SortMode mode, const QList<Selection>& selections);

// True when the query (already trimmed and lower-cased by the caller) is empty or occurs in the
// lower-cased text, Markdown, app name, web address and file path joined by line feeds.
// Precomposed and decomposed forms of the same text match each other.
bool matches(const QString& query, const Selection& selection);

} // namespace SortModes

inline size_t qHash(SortMode mode, size_t seed = 0) noexcept
{
    return qHash(int(mode), seed);
}
