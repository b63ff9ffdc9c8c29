#include "Zubra/LibraryWindow/LibrarySelectionList.h"

#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/LibraryAccessible.h"
#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "Zubra/LibraryWindow/SelectionListDelegate.h"
#include "Zubra/Widgets/IconCache.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

LibrarySelectionList::LibrarySelectionList(Store& store, VisibleSelectionsModel& model, LibrarySelectionState& state,
    const LibraryEnvironment& environment, QWidget* parent)
    : QListView(parent)
    , m_model(model)
    , m_state(state)
    , m_flash(std::make_unique<CopiedFlash>())
    , m_commands(store, environment, *m_flash)
{
    LibraryAccessible::install();
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setItemDelegate(new SelectionListDelegate(store, environment, *m_flash, this));
    // An application icon found in the background: the visible rows of that application draw again.
    connect(&IconCache::shared(), &IconCache::iconReady, this, [this](const QString& key) {
        const QModelIndex first = indexAt(viewport()->rect().topLeft());
        if (!first.isValid())
            return;
        const QModelIndex last = indexAt(viewport()->rect().bottomLeft());
        const int end = last.isValid() ? last.row() : m_model.rowCount() - 1;
        for (int row = first.row(); row <= end; ++row) {
            const Selection& selection = m_model.selectionAt(row);
            if (IconCache::keyOf(selection.bundleID, selection.appName) == key)
                update(m_model.index(row, 0));
        }
    });

    // The selection changes that the view's selection model announces while rows move are not
    // the user's. The flag goes up before the selection model reacts to the model's signals
    // (connected before it exists) and down after it has (connected after).
    const auto begin = [this] { m_modelChanging = true; };
    const auto end = [this] { m_modelChanging = false; };
    connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin);
    connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, this, begin);
    connect(&model, &QAbstractItemModel::rowsAboutToBeMoved, this, begin);
    connect(&model, &QAbstractItemModel::layoutAboutToBeChanged, this, begin);
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, begin);
    setModel(&model);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, end);
    connect(&model, &QAbstractItemModel::rowsInserted, this, end);
    connect(&model, &QAbstractItemModel::rowsMoved, this, end);
    connect(&model, &QAbstractItemModel::layoutChanged, this, end);
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        m_modelChanging = false;
        writeSelectionModel();
    });

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_modelChanging && !m_writingSelectionModel)
            readSelectionModel();
    });
    connect(&state, &LibrarySelectionState::selectedIDsChanged, this, &LibrarySelectionList::writeSelectionModel);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        // A click inspects its row; a click that took the row out of the selection leaves the
        // inspection to the selection's own rule.
        if (index.isValid() && selectionModel()->isSelected(index))
            m_state.setDetailSelectionID(m_model.idAt(index.row()));
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            m_commands.copyPlainText(m_model.selectionAt(index.row()));
    });
    connect(m_flash.get(), &CopiedFlash::changed, this, &LibrarySelectionList::updateRow);
    // Rows that come or go above the viewport's top row do not move what the user looks at.
    connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, this, &LibrarySelectionList::rememberTopRow);
    connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &LibrarySelectionList::rememberTopRow);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &LibrarySelectionList::restoreTopRow);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, &LibrarySelectionList::restoreTopRow);
    writeSelectionModel();
}

LibrarySelectionList::~LibrarySelectionList() = default;

void LibrarySelectionList::readSelectionModel()
{
    QSet<QUuid> selected;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        selected.insert(m_model.idAt(index.row()));
    m_state.writeSelection(selected);
}

void LibrarySelectionList::writeSelectionModel()
{
    // Compared by rows, not by ranges: the set's order is the hash's, and a selection the list
    // already shows must not be written again, which would end the range a Shift-click extends
    // and drop the rows Control-clicked before it.
    QList<int> rows;
    for (const QUuid& id : m_state.selectedIDs())
        if (const int row = m_model.rowOf(id); row >= 0)
            rows.append(row);
    std::sort(rows.begin(), rows.end());
    QList<int> shown;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        shown.append(index.row());
    std::sort(shown.begin(), shown.end());
    if (rows == shown)
        return;
    QItemSelection selection;
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        selection.select(m_model.index(rows[first]), m_model.index(rows[last]));
        first = last + 1;
    }
    m_writingSelectionModel = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_writingSelectionModel = false;
}

QString LibrarySelectionList::dragPayload(int row) const
{
    const QUuid id = m_model.idAt(row);
    if (m_state.selectedIDs().contains(id))
        return SelectionDragIDs::encode(m_state.selectedIDs());
    return SelectionDragIDs::encode({id});
}

std::unique_ptr<QMimeData> LibrarySelectionList::dragData(int row) const
{
    auto data = std::make_unique<QMimeData>();
    data->setText(dragPayload(row));
    return data;
}

std::unique_ptr<QMenu> LibrarySelectionList::rowMenu(int row)
{
    auto menu = std::make_unique<QMenu>(this);
    m_commands.fillMenu(*menu, m_model.selectionAt(row));
    return menu;
}

void LibrarySelectionList::copy()
{
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<Selection> selections;
    for (int row : rows)
        selections.append(m_model.selectionAt(row));
    m_commands.copyPlainText(selections);
}

void LibrarySelectionList::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Delete) && !m_state.selectedIDs().isEmpty()) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void LibrarySelectionList::mousePressEvent(QMouseEvent* event)
{
    m_deferred.reset();
    m_dragOrigin.reset();
    m_dragged = false;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::RightButton && index.isValid()) {
        // The context menu is the row's own; it does not select.
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && index.isValid())
        m_dragOrigin = std::pair(index.row(), event->position());
    if (event->button() == Qt::LeftButton && index.isValid() && !selectionModel()->isSelected(index)) {
        m_deferred = DeferredPress {index, event->position(), event->globalPosition(), event->modifiers()};
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void LibrarySelectionList::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOrigin && event->buttons().testFlag(Qt::LeftButton)) {
        // While the button is down on a row, moving drags it; it never sweeps a selection.
        if ((event->position() - m_dragOrigin->second).manhattanLength() >= QApplication::startDragDistance()) {
            const int row = m_dragOrigin->first;
            m_dragOrigin.reset();
            m_deferred.reset();
            m_dragged = true;
            if (row < m_model.rowCount())
                runDrag(row);
        }
        event->accept();
        return;
    }
    if (m_deferred || m_dragged) {
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void LibrarySelectionList::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragOrigin.reset();
    if (m_dragged) {
        m_dragged = false;
        setState(NoState);
        event->accept();
        return;
    }
    if (m_deferred) {
        const DeferredPress press = *m_deferred;
        m_deferred.reset();
        if (!press.index.isValid())
            return;
        // No drag started: the press selects now, as Qt would have done at the press.
        QMouseEvent replay(QEvent::MouseButtonPress, press.position, press.globalPosition, Qt::LeftButton,
            Qt::LeftButton, press.modifiers);
        QListView::mousePressEvent(&replay);
    }
    QListView::mouseReleaseEvent(event);
}

void LibrarySelectionList::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu belongs to the current row and opens beside it.
    const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = keyboard ? currentIndex() : indexAt(event->pos());
    if (!index.isValid())
        return;
    std::unique_ptr<QMenu> menu = rowMenu(index.row());
    menu->exec(keyboard ? viewport()->mapToGlobal(visualRect(index).center()) : event->globalPos());
}

void LibrarySelectionList::startDrag(Qt::DropActions)
{
    // Drags start from the pointer handling above; a drag Qt starts by itself carries the current
    // row.
    const QModelIndex index = currentIndex();
    if (index.isValid())
        runDrag(index.row());
}

void LibrarySelectionList::runDrag(int row)
{
    if (m_dragRunner) {
        m_dragRunner(dragData(row));
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(dragData(row).release());
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

void LibrarySelectionList::rememberTopRow()
{
    if (m_topAnchor.isValid())
        return; // an earlier change of the same batch already holds the row
    m_topAnchor = verticalScrollBar()->value() > 0 ? QPersistentModelIndex(indexAt(QPoint(1, 1)))
                                                   : QPersistentModelIndex();
}

void LibrarySelectionList::restoreTopRow()
{
    const QPersistentModelIndex anchor = m_topAnchor;
    m_topAnchor = QPersistentModelIndex();
    const int rowHeight = sizeHintForRow(0);
    if (!anchor.isValid() || rowHeight <= 0)
        return;
    // Rows are all one height, so the anchor's new place is known without laying the list out
    // again; the range grows now if the delayed layout has not caught up yet.
    QScrollBar* bar = verticalScrollBar();
    const int value = anchor.row() * rowHeight + bar->value() % rowHeight;
    if (value > bar->maximum())
        bar->setMaximum(value);
    bar->setValue(value);
}

void LibrarySelectionList::updateRow(const QUuid& id)
{
    const int row = m_model.rowOf(id);
    if (row >= 0)
        viewport()->update(visualRect(m_model.index(row)));
}
