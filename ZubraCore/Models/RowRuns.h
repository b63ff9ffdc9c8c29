#pragma once
// How the list models report many separate runs of rows that come or go at once.

namespace RowRuns {

// Beyond this many separate runs, one layout change serves a view better than a signal per run:
// each signal costs the view a pass over its rows.
constexpr int maxSignalled = 32;

} // namespace RowRuns
