#pragma once
// What assistive technology sees of the library window's painted lists. Each list publishes one
// list item per row under the list's own root, so that a reader reaches every row of a sidebar
// section as well as of the library list.
//
// A library row is named by its headline ("Untitled capture" when it has none), valued and
// described by where and when it was captured ("From …, ‹date›"), and offers "Copy plain text",
// "Add to active prompt" and the selection toggle. A sidebar row is named by its title; a source
// row is valued and described by its subtitle (address, file or application), so that two
// sources of one application differ; a group or source row holds its drag handle, a grip named
// and described by the handle's help. The rows are painted, so these are virtual elements kept by
// the list's own element while their rows exist.

#include <QString>

namespace LibraryAccessible {

// Makes the library's lists publish their rows; once per process.
void install();

// The names of a library row's own actions.
QString copyPlainTextAction();
QString addToActivePromptAction();

} // namespace LibraryAccessible
