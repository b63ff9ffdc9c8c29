#pragma once
// What assistive technology sees of the composer's entry list: one list item per row, named by
// its headline and checked while the entry is included, whose children are the row's controls:
// the include switch ("Include " + headline, its help text and state), the drag handle ("Drag to
// reorder source", with Move Up and Move Down actions), the options menu ("Options for " +
// headline) and the note field where shown. The rows are painted, so these are virtual elements
// kept by the list's own element for as long as their entries are shown.

#include "Zubra/Composer/ComposeEntryList.h"

class QAccessibleInterface;

namespace ComposeEntryAccessible {

// The element of an entry list, for the composer's element factory (ComposerAccessible); null
// for any other object.
QAccessibleInterface* elementFor(const QString& key, QObject* object);
// The element of one control of an entry's row; null while the entry has no row.
QAccessibleInterface* part(ComposeEntryList* list, const QUuid& entryID, ComposeEntryRow::Part part);
// Tells assistive technology that the control has the keyboard focus.
void partFocused(ComposeEntryList* list, const QUuid& entryID, ComposeEntryRow::Part part);
// Lets go of the elements of entries that no longer have a row.
void forgetMissing(ComposeEntryList* list);
// Tells assistive technology that the entry's state may have changed.
void entryChanged(ComposeEntryList* list, const QUuid& entryID);

} // namespace ComposeEntryAccessible
