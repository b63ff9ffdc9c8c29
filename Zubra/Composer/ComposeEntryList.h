#pragma once
// The draft pane's list of source entries: one painted row per entry whose selection is in the
// library, with its include switch, headline, token estimate, source line, badges, an optional note
// field, a drag handle and an options menu. A drag on the handle reorders the list live as the
// pointer passes over rows; only a drag started here reorders, and it is forgotten when it ends.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QListView>
#include <QSet>
#include <QStyledItemDelegate>
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

// Paints one entry row and places its note field.
class ComposeEntryRow final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum class Part { none, checkbox, handle, menu };

    ComposeEntryRow(const QSet<QUuid>* notesShown, std::function<ModelProfile()> profile, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override { }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Which control of the row at `rect` lies under `point`.
    Part partAt(const QRect& rect, const QPoint& point) const;
    // The badges that apply, in order.
    static QStringList badges(const ContextDraftEntry& entry);

signals:
    void noteEdited(const QUuid& entryID, const QString& note) const;

private:
    struct Geometry
    {
        QRect checkbox, content, handle, menu, note;
        int headlineHeight = 0, captionHeight = 0, badgeHeight = 0;
    };
    Geometry geometry(const QRect& rect, bool hasBadges, bool showsNote) const;
    bool showsNote(const QModelIndex& index) const;

    const QSet<QUuid>* m_notesShown;
    std::function<ModelProfile()> m_profile;
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

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

public:
    // A drag of plain text entering the row at `index`: reorders only during a row drag.
    void dragEnteredRow(const QModelIndex& index);
    void setDraggedEntryID(const std::optional<QUuid>& id);

private:
    QUuid entryID(const QModelIndex& index) const;
    std::optional<Selection> selection(const QModelIndex& index) const;
    int sourceRow(const QModelIndex& index) const;
    void syncNoteEditors();
    void startRowDrag(const QModelIndex& index);

    DraftEntriesModel* m_model;
    QSortFilterProxyModel* m_rows;
    ComposeEntryRow* m_row;
    ComposeEntryActions m_actions;
    QSet<QUuid> m_notesShown;
    std::optional<QUuid> m_draggedEntryID;
    QPersistentModelIndex m_lastDropTarget;
    QPersistentModelIndex m_pressedHandle;
    QPoint m_pressPosition;
};
