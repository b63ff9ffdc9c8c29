#pragma once
// The library list: one painted row per visible selection, multiple selection bound to the main
// window's selection state, double click copies, a context menu per row, and drags that carry
// the selection payload as plain text.
//
// Qt selects on press; here a press on a row that is not selected waits for the release, so that
// dragging such a row carries that row alone and leaves the selection as it was.

#include "Zubra/LibraryWindow/SelectionRowCommands.h"

#include <QListView>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class CopiedFlash;
class LibrarySelectionState;
class QMenu;
class QMimeData;
class Store;
class VisibleSelectionsModel;
struct LibraryEnvironment;

class LibrarySelectionList : public QListView
{
    Q_OBJECT

public:
    LibrarySelectionList(Store& store, VisibleSelectionsModel& model, LibrarySelectionState& state,
        const LibraryEnvironment& environment, QWidget* parent = nullptr);
    ~LibrarySelectionList() override;

    CopiedFlash& copiedFlash() const { return *m_flash; }
    SelectionRowCommands& commands() { return m_commands; }

    // The payload a drag from the row carries: the whole multi-selection when the row is part of
    // it, else the row alone.
    QString dragPayload(int row) const;
    // The text that a drag from the row offers as plain text.
    std::unique_ptr<QMimeData> dragData(int row) const;
    // The row's context menu, filled as it opens.
    std::unique_ptr<QMenu> rowMenu(int row);

    // Runs a drag with the data and returns the action the drop took; by default a QDrag. Tests
    // record the data instead of running the platform's drag loop.
    using DragRunner = std::function<Qt::DropAction(std::unique_ptr<QMimeData>)>;
    void setDragRunner(DragRunner runner) { m_dragRunner = std::move(runner); }

public slots:
    // The standard copy (Ctrl+C, Edit ▸ Copy) while the list has the focus: the selected rows'
    // plain text, in list order, as "Copy Plain Text" copies one row; nothing when none is selected.
    void copy();

signals:
    // The Delete key on selected rows: the toolbar's "Delete" does the deleting.
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void readSelectionModel();
    void writeSelectionModel();
    void runDrag(int row);
    void updateRow(const QUuid& id);
    void rememberTopRow();
    void restoreTopRow();

    VisibleSelectionsModel& m_model;
    LibrarySelectionState& m_state;
    std::unique_ptr<CopiedFlash> m_flash;
    SelectionRowCommands m_commands;
    // A left press on a row that was not selected, replayed at release unless a drag started.
    struct DeferredPress
    {
        QPersistentModelIndex index;
        QPointF position;
        QPointF globalPosition;
        Qt::KeyboardModifiers modifiers;
    };
    std::optional<DeferredPress> m_deferred;
    // Where the left button went down on a row: a move beyond the drag distance drags that row.
    std::optional<std::pair<int, QPointF>> m_dragOrigin;
    bool m_dragged = false; // a drag ran since the press: its release selects nothing
    // The row at the top of the viewport before rows come or go above it.
    QPersistentModelIndex m_topAnchor;
    DragRunner m_dragRunner;
    int m_pressedRow = -1; // the row a drag starts from
    bool m_modelChanging = false; // the model moves rows: selection changes are not the user's
    bool m_writingSelectionModel = false;
};
