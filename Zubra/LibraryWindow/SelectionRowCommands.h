#pragma once
// The commands of a library row: copies (with the row's "Copied" mark), the prompt, the source's
// address and file, group membership and deletion, and the row's context menu that offers them.
// No command is disabled whatever the library's state: the store refuses what it must.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"

#include "ZubraCore/Library/Selection.h"

#include <QUuid>

class CopiedFlash;
class QMenu;
class Store;

class SelectionRowCommands
{
public:
    SelectionRowCommands(Store& store, const LibraryEnvironment& environment, CopiedFlash& flash);

    void copyMarkdown(const Selection& selection);
    void copyPlainText(const Selection& selection);
    // Several rows at once: their texts in the given order, a blank line between two; each row
    // shows "Copied". Nothing happens for none.
    void copyPlainText(const QList<Selection>& selections);
    void addToPrompt(const Selection& selection);
    void openInBrowser(const Selection& selection);
    void copyURL(const Selection& selection);
    void revealInFileManager(const Selection& selection);
    // Every selection of the same source (by identifier), in store order, as one Markdown text.
    void copyAllFromSource(const Selection& selection);
    void addToGroup(const QUuid& groupID, const Selection& selection);
    void removeFromAllGroups(const Selection& selection);
    void deleteSelection(const Selection& selection);
    // Asks the main window to offer a new group for the selection.
    void requestNewGroup(const Selection& selection);

    // "Copy All from …" for the selection.
    static QString copyAllTitle(const Selection& selection);
    // Fills the menu with the row's items, in their order.
    void fillMenu(QMenu& menu, const Selection& selection);

private:
    void flashCopied(const Selection& selection);

    Store& m_store;
    const LibraryEnvironment& m_environment;
    CopiedFlash& m_flash;
};
