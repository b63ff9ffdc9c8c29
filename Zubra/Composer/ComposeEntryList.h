#pragma once
// The draft pane's list of source entries: one painted row per entry whose selection is in the
// library, with its include switch, headline, token estimate, source line, badges, an optional note
// field, a drag handle and an options menu. A drag on the handle reorders the list live as the
// pointer passes over rows; only a drag started here reorders, and it is forgotten when it ends.
//
// By keyboard the list is one stop of the focus chain: Up and Down choose the row, Tab, Backtab,
// Left and Right the row's control (switch, handle, menu, then the note field where shown), Space
// or Return uses it, Up and Down on the handle move the entry, and the menu key or Shift+F10 opens
// the row's context menu. The row's controls are published to assistive technology as the row's
// children, with their names, help texts and states.

#include "Zubra/Composer/ComposeEntryRow.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QListView>
#include <QSet>
#include <QUuid>
#include <functional>
#include <optional>

class DraftEntriesModel;
class QSortFilterProxyModel;

// What a row's commands do; the draft pane supplies them.
struct ComposeEntryActions
{
    std::function<void(const QUuid& entryID)> toggleInclude;
    std::function<void(const QUuid& entryID)> togglePin;
    std::function<void(const QUuid& entryID)> toggleVerbatim;
    std::function<void(const QUuid& entryID, int offset)> move;
    std::function<void(const QUuid& entryID)> edit;
    std::function<void(const QUuid& entryID)> remove;
    std::function<void(const std::optional<QUuid>& draggedID, const QUuid& targetID)> moveEntry;
    std::function<void(const QUuid& entryID, const QString& note)> setNote;
    std::function<void(const Selection& selection)> copyMarkdown;
    std::function<void(const Selection& selection)> copyPlain;
    std::function<ModelProfile()> profile;
};

class ComposeEntryList final : public QListView
{
    Q_OBJECT

public:
    ComposeEntryList(DraftEntriesModel* model, ComposeEntryActions actions, QWidget* parent = nullptr);

    // The entry a row drag started here is moving; none outside a row drag.
    const std::optional<QUuid>& draggedEntryID() const { return m_draggedEntryID; }
    // Rows: those of entries whose selection is in the library.
    int visibleRowCount() const;
    QModelIndex indexOfEntry(const QUuid& entryID) const;
    bool showsNote(const QUuid& entryID) const { return m_notesShown.contains(entryID); }
    void setShowsNote(const QUuid& entryID, bool shown);
    // The row's options menu and context menu, built for the entry at `index` (for tests too).
    QMenu* entryMenu(const QModelIndex& index);
    QMenu* contextMenu(const QModelIndex& index);
    ComposeEntryRow* row() const { return m_row; }

    // The control of the current row that has the keyboard focus while the list has it.
    ComposeEntryRow::Part focusedPart() const { return m_focusPart; }
    void setFocusedPart(ComposeEntryRow::Part part);
    // What the row's control does when clicked or pressed with Space: switches the entry, opens
    // its menu, or (the handle) nothing.
    void activatePart(const QModelIndex& index, ComposeEntryRow::Part part);
    // Moves the entry one place up (-1) or down (1), keeping the focus on it.
    void moveByKeyboard(const QModelIndex& index, int offset);
    QUuid entryID(const QModelIndex& index) const;
    std::optional<Selection> selection(const QModelIndex& index) const;
    // The entry's place in the draft's whole list and the list's length.
    int sourceRow(const QModelIndex& index) const;
    int entryCount() const;
    bool isIncluded(const QModelIndex& index) const;
    // The note field of the row, while it is shown.
    QWidget* noteField(const QModelIndex& index) const;
    // The control's place on the screen.
    QRect globalPartRect(const QModelIndex& index, ComposeEntryRow::Part part) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    using QListView::edit;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

public:
    // A drag of plain text entering the row at `index`: reorders only during a row drag.
    void dragEnteredRow(const QModelIndex& index);
    void setDraggedEntryID(const std::optional<QUuid>& id);

private:
    void syncNoteEditors();
    // Gives the focus to the next (or previous) control outside the list.
    void leave(bool next);
    void announceFocus();
    void popupAt(QMenu* menu, const QModelIndex& index, ComposeEntryRow::Part part);
    void startRowDrag(const QModelIndex& index);

    DraftEntriesModel* m_model;
    QSortFilterProxyModel* m_rows;
    ComposeEntryRow* m_row;
    ComposeEntryActions m_actions;
    QSet<QUuid> m_notesShown;
    std::optional<QUuid> m_draggedEntryID;
    ComposeEntryRow::Part m_focusPart = ComposeEntryRow::Part::checkbox;
    QPersistentModelIndex m_lastDropTarget;
    QPersistentModelIndex m_pressedHandle;
    QPoint m_pressPosition;
};
