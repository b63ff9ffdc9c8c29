#pragma once
// What the composer's draft pane does to a draft: each operation looks the draft up afresh by its
// id, changes a copy and hands the whole draft back to the store. Operations that speak return the
// one-line notice for the pane's footer; none means they have nothing to say.

#include <QList>
#include <QSettings>
#include <QString>
#include <QUuid>
#include <optional>

class Store;
struct PromptTemplate;

namespace DraftOperations {

// The largest piece pasted text is split into, in characters.
inline constexpr qsizetype importChunkLength = 4000;
// The similarity from which two sources count as near-duplicates.
inline constexpr double duplicateThreshold = 0.85;
// The application name of selections made from pasted text.
inline constexpr char16_t pastedTextAppName[] = u"Pasted text";

void setName(Store& store, const QUuid& draftID, const QString& name);
void setTask(Store& store, const QUuid& draftID, const QString& task);
// A note that is blank once trimmed is stored as none; any other as typed.
void setNote(Store& store, const QUuid& draftID, const QUuid& entryID, const QString& note);

QString applyTemplate(Store& store, const QUuid& draftID, const PromptTemplate& promptTemplate);
QString applyTrim(Store& store, const QUuid& draftID, const QUuid& entryID, const QString& editorText);

struct ImportOutcome
{
    qsizetype imported = 0; // new selections; 0 leaves the sheet open
    std::optional<QString> notice;
};
ImportOutcome addImported(Store& store, const QUuid& draftID, const QString& pastedText);
void addToDraft(Store& store, const QUuid& draftID, const QUuid& selectionID);

// None when the draft is gone: nothing is saved and the sheet stays open.
std::optional<QString> saveTemplate(Store& store, const QUuid& draftID, const QString& typedName, QSettings& defaults);
// The stored id of a template name: lower-cased runs of letters and numbers joined with "-".
QString templateIdentifier(const QString& name);

std::optional<QString> removeDuplicates(Store& store, const QUuid& draftID);
QString removeExcluded(Store& store, const QUuid& draftID);

void toggleInclude(Store& store, const QUuid& draftID, const QUuid& entryID);
void togglePin(Store& store, const QUuid& draftID, const QUuid& entryID);
void toggleVerbatim(Store& store, const QUuid& draftID, const QUuid& entryID);
void removeEntry(Store& store, const QUuid& draftID, const QUuid& entryID);
void move(Store& store, const QUuid& draftID, const QUuid& entryID, int offset);
// Puts the dragged entry at the target's position; nothing without a dragged entry or onto itself.
void moveEntry(Store& store, const QUuid& draftID, const std::optional<QUuid>& draggedID, const QUuid& targetID);

// A file name offered for a prompt's name: letters, numbers, "-", "_" and spaces kept, every
// other character one "-", spaces trimmed; "prompt" when nothing is left.
QString safeFileName(const QString& name);

} // namespace DraftOperations
