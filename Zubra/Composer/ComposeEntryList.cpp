#include "Zubra/Composer/ComposeEntryList.h"

#include "Zubra/Composer/ComposeEntryAccessible.h"
#include "Zubra/Composer/ComposerAccessible.h"
#include "ZubraCore/Drag/OwnDrags.h"
#include "ZubraCore/Models/DraftEntriesModel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QToolTip>

using namespace Qt::StringLiterals;

ComposeEntryList::ComposeEntryList(DraftEntriesModel* model, ComposeEntryActions actions, QWidget* parent)
    : QListView(parent)
    , m_model(model)
    , m_actions(std::move(actions))
{
    // The factory first: with a screen reader listening, setting the model below already makes
    // the list's element, and Qt keeps the first element made for a widget.
    ComposerAccessible::install();
    // Entries whose selection left the library stay in the draft but get no row.
    m_rows = new QSortFilterProxyModel(this);
    m_rows->setSourceModel(model);
    m_rows->setFilterRole(DraftEntriesModel::HasSelectionRole);
    m_rows->setFilterFixedString(u"true"_s);
    m_rows->setDynamicSortFilter(true);
    setModel(m_rows);
    m_row = new ComposeEntryRow(&m_notesShown, m_actions.profile, this);
    setItemDelegate(m_row);
    setSelectionMode(QAbstractItemView::NoSelection);
    setTabKeyNavigation(false);
    setAccessibleName(u"Sources"_s);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    setAcceptDrops(true);
    OwnDrags::markSource(this); // its row drags are no text for a field
    setDragDropMode(QAbstractItemView::DropOnly);
    setResizeMode(QListView::Adjust);

    connect(m_row, &ComposeEntryRow::noteEdited, this, [this](const QUuid& id, const QString& note) {
        if (m_actions.setNote)
            m_actions.setNote(id, note);
    });
    // A row made for an entry that has a note shows its field from the start.
    const auto adoptNotes = [this](int first, int last) {
        for (int r = first; r <= last; ++r)
            if (m_model->entryAt(r).note)
                m_notesShown.insert(m_model->entryAt(r).id);
        syncNoteEditors();
    };
    connect(model, &QAbstractItemModel::modelReset, this, [this, adoptNotes] {
        m_notesShown.clear();
        adoptNotes(0, m_model->rowCount() - 1);
    });
    connect(model, &QAbstractItemModel::rowsInserted, this,
        [adoptNotes](const QModelIndex&, int first, int last) { adoptNotes(first, last); });
    connect(m_rows, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        syncNoteEditors();
        scheduleDelayedItemsLayout(); // badges come and go
        for (int r = first.row(); r <= last.row(); ++r)
            ComposeEntryAccessible::entryChanged(this, entryID(m_rows->index(r, 0)));
    });
    connect(m_rows, &QAbstractItemModel::layoutChanged, this, &ComposeEntryList::syncNoteEditors);
    connect(m_rows, &QAbstractItemModel::rowsRemoved, this, [this] { ComposeEntryAccessible::forgetMissing(this); });
    connect(m_rows, &QAbstractItemModel::modelReset, this, [this] { ComposeEntryAccessible::forgetMissing(this); });
    connect(m_rows, &QAbstractItemModel::rowsInserted, this, &ComposeEntryList::syncNoteEditors);
    adoptNotes(0, m_model->rowCount() - 1);
}

int ComposeEntryList::visibleRowCount() const
{
    return m_rows->rowCount();
}

QModelIndex ComposeEntryList::indexOfEntry(const QUuid& id) const
{
    for (int r = 0; r < m_rows->rowCount(); ++r) {
        const QModelIndex index = m_rows->index(r, 0);
        if (index.data(DraftEntriesModel::EntryIdRole).toUuid() == id)
            return index;
    }
    return {};
}

int ComposeEntryList::entryCount() const
{
    return m_model->rowCount();
}

bool ComposeEntryList::isIncluded(const QModelIndex& index) const
{
    return index.isValid() && m_model->entryAt(sourceRow(index)).include;
}

QWidget* ComposeEntryList::noteField(const QModelIndex& index) const
{
    return index.isValid() && showsNote(entryID(index)) ? indexWidget(index) : nullptr;
}

QRect ComposeEntryList::globalPartRect(const QModelIndex& index, ComposeEntryRow::Part part) const
{
    const QRect rect = m_row->partRect(visualRect(index), part);
    return QRect(viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

QUuid ComposeEntryList::entryID(const QModelIndex& index) const
{
    return index.data(DraftEntriesModel::EntryIdRole).toUuid();
}

int ComposeEntryList::sourceRow(const QModelIndex& index) const
{
    return m_rows->mapToSource(index).row();
}

std::optional<Selection> ComposeEntryList::selection(const QModelIndex& index) const
{
    return m_model->selectionAt(sourceRow(index));
}

void ComposeEntryList::setShowsNote(const QUuid& entryID, bool shown)
{
    if (shown)
        m_notesShown.insert(entryID);
    else
        m_notesShown.remove(entryID);
    syncNoteEditors();
    scheduleDelayedItemsLayout();
}

void ComposeEntryList::syncNoteEditors()
{
    for (int r = 0; r < m_rows->rowCount(); ++r) {
        const QModelIndex index = m_rows->index(r, 0);
        const bool shown = m_notesShown.contains(entryID(index));
        if (shown && !isPersistentEditorOpen(index)) {
            openPersistentEditor(index);
            // The view selects an opened editor's whole text; a note shown is not being edited.
            if (auto* field = qobject_cast<QLineEdit*>(indexWidget(index)))
                field->deselect();
        } else if (!shown && isPersistentEditorOpen(index))
            closePersistentEditor(index);
        else if (shown)
            m_row->setEditorData(indexWidget(index), index);
    }
}

QMenu* ComposeEntryList::entryMenu(const QModelIndex& index)
{
    const int row = sourceRow(index);
    const ContextDraftEntry entry = m_model->entryAt(row);
    const QUuid id = entry.id;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(entry.pin ? u"Unpin"_s : u"Pin"_s, this, [this, id] { m_actions.togglePin(id); });
    menu->addAction(entry.verbatim ? u"Use formatted text"_s : u"Use verbatim text"_s, this,
        [this, id] { m_actions.toggleVerbatim(id); });
    menu->addAction(u"Trim or edit\u2026"_s, this, [this, id] { m_actions.edit(id); });
    const bool shown = m_notesShown.contains(id);
    menu->addAction(shown ? u"Hide Note Field"_s : u"Add Note"_s, this, [this, id, shown] { setShowsNote(id, !shown); });
    if (entry.note)
        menu->addAction(u"Clear Note"_s, this, [this, id] { m_actions.setNote(id, QString()); });
    menu->addSeparator();
    menu->addAction(u"Move Up"_s, this, [this, id] { m_actions.move(id, -1); })->setEnabled(row != 0);
    menu->addAction(u"Move Down"_s, this, [this, id] { m_actions.move(id, 1); })
        ->setEnabled(row != m_model->rowCount() - 1);
    menu->addSeparator();
    menu->addAction(u"Remove from Prompt"_s, this, [this, id] { m_actions.remove(id); });
    return menu;
}

QMenu* ComposeEntryList::contextMenu(const QModelIndex& index)
{
    const ContextDraftEntry entry = m_model->entryAt(sourceRow(index));
    const std::optional<Selection> s = selection(index);
    const QUuid id = entry.id;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(u"Copy as Markdown"_s, this, [this, s] {
        if (s)
            m_actions.copyMarkdown(*s);
    });
    menu->addAction(u"Copy Plain"_s, this, [this, s] {
        if (s)
            m_actions.copyPlain(*s);
    });
    menu->addSeparator();
    menu->addAction(entry.pin ? u"Unpin"_s : u"Pin"_s, this, [this, id] { m_actions.togglePin(id); });
    menu->addAction(entry.verbatim ? u"Use formatted text"_s : u"Use verbatim text"_s, this,
        [this, id] { m_actions.toggleVerbatim(id); });
    menu->addAction(u"Trim or Edit\u2026"_s, this, [this, id] { m_actions.edit(id); });
    menu->addAction(u"Remove from Prompt"_s, this, [this, id] { m_actions.remove(id); });
    return menu;
}

void ComposeEntryList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || event->button() != Qt::LeftButton) {
        QListView::mousePressEvent(event);
        return;
    }
    const QRect rect = visualRect(index);
    const ComposeEntryRow::Part part = m_row->partAt(rect, event->position().toPoint());
    if (part != ComposeEntryRow::Part::none) {
        // The focus goes where the pointer used a control, as it does for a real one.
        setFocus(Qt::MouseFocusReason);
        setCurrentIndex(index);
        setFocusedPart(part);
    }
    switch (part) {
    case ComposeEntryRow::Part::checkbox:
        activatePart(index, part);
        return;
    case ComposeEntryRow::Part::menu:
        entryMenu(index)->popup(viewport()->mapToGlobal(event->position().toPoint()));
        return;
    case ComposeEntryRow::Part::handle:
        m_pressedHandle = index;
        m_pressPosition = event->position().toPoint();
        return;
    case ComposeEntryRow::Part::none:
        break;
    }
    QListView::mousePressEvent(event);
}

void ComposeEntryList::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressedHandle.isValid() && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        const QModelIndex index = m_pressedHandle;
        m_pressedHandle = QPersistentModelIndex();
        startRowDrag(index);
        return;
    }
    QListView::mouseMoveEvent(event);
}

void ComposeEntryList::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressedHandle = QPersistentModelIndex();
    QListView::mouseReleaseEvent(event);
}

void ComposeEntryList::setDraggedEntryID(const std::optional<QUuid>& id)
{
    m_draggedEntryID = id;
    m_lastDropTarget = QPersistentModelIndex();
}

void ComposeEntryList::startRowDrag(const QModelIndex& index)
{
    const QUuid id = entryID(index);
    setDraggedEntryID(id);
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setText(id.toString(QUuid::WithoutBraces).toUpper());
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
    // Over, wherever it ended: a later drag of other text must not reorder anything.
    m_draggedEntryID.reset();
    m_lastDropTarget = QPersistentModelIndex();
}

void ComposeEntryList::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (currentIndex().isValid())
            popupAt(contextMenu(currentIndex()), currentIndex(), m_focusPart);
        return;
    }
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index.isValid())
        contextMenu(index)->popup(event->globalPos());
}

void ComposeEntryList::popupAt(QMenu* menu, const QModelIndex& index, ComposeEntryRow::Part part)
{
    const QRect rect
        = m_row->partRect(visualRect(index), part == ComposeEntryRow::Part::none ? ComposeEntryRow::Part::menu : part);
    menu->popup(viewport()->mapToGlobal(rect.bottomLeft() + QPoint(0, 2)));
}

void ComposeEntryList::setFocusedPart(ComposeEntryRow::Part part)
{
    if (part == ComposeEntryRow::Part::none)
        part = ComposeEntryRow::Part::checkbox;
    m_focusPart = part;
    m_row->setFocusedPart(part);
    if (currentIndex().isValid())
        viewport()->update(visualRect(currentIndex()));
    announceFocus();
}

void ComposeEntryList::announceFocus()
{
    if (hasFocus() && currentIndex().isValid())
        ComposeEntryAccessible::partFocused(this, entryID(currentIndex()), m_focusPart);
}

void ComposeEntryList::activatePart(const QModelIndex& index, ComposeEntryRow::Part part)
{
    if (!index.isValid() || !isEnabled())
        return;
    switch (part) {
    case ComposeEntryRow::Part::checkbox:
        m_actions.toggleInclude(entryID(index));
        break;
    case ComposeEntryRow::Part::menu:
        popupAt(entryMenu(index), index, part);
        break;
    case ComposeEntryRow::Part::handle:
    case ComposeEntryRow::Part::none:
        break;
    }
}

void ComposeEntryList::moveByKeyboard(const QModelIndex& index, int offset)
{
    if (!index.isValid() || !isEnabled())
        return;
    const QUuid id = entryID(index);
    m_actions.move(id, offset);
    // The rows follow the store at once; the current row follows its entry.
    const QModelIndex moved = indexOfEntry(id);
    if (moved.isValid()) {
        setCurrentIndex(moved);
        scrollTo(moved);
        viewport()->update();
        announceFocus();
    }
}

void ComposeEntryList::keyPressEvent(QKeyEvent* event)
{
    using Part = ComposeEntryRow::Part;
    const QModelIndex current = currentIndex();
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!current.isValid() || (modifiers != Qt::NoModifier && event->key() != Qt::Key_F10)) {
        QListView::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        if (m_focusPart != Part::checkbox)
            setFocusedPart(Part(int(m_focusPart) - 1));
        return;
    case Qt::Key_Right:
        if (m_focusPart != Part::menu)
            setFocusedPart(Part(int(m_focusPart) + 1));
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (m_focusPart == Part::handle) {
            moveByKeyboard(current, event->key() == Qt::Key_Up ? -1 : 1);
            return;
        }
        break;
    case Qt::Key_Space:
    case Qt::Key_Select:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        activatePart(current, m_focusPart);
        return;
    case Qt::Key_F10:
        if (modifiers == Qt::ShiftModifier) {
            popupAt(contextMenu(current), current, m_focusPart);
            return;
        }
        break;
    case Qt::Key_Menu:
        popupAt(contextMenu(current), current, m_focusPart);
        return;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

void ComposeEntryList::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    if (!currentIndex().isValid() && m_rows->rowCount() > 0)
        setCurrentIndex(m_rows->index(0, 0));
    if (event->reason() == Qt::TabFocusReason)
        setFocusedPart(ComposeEntryRow::Part::checkbox);
    else if (event->reason() == Qt::BacktabFocusReason)
        setFocusedPart(ComposeEntryRow::Part::menu);
    else
        setFocusedPart(m_focusPart);
}

bool ComposeEntryList::focusNextPrevChild(bool next)
{
    using Part = ComposeEntryRow::Part;
    const QModelIndex current = currentIndex();
    if (hasFocus() && current.isValid()) {
        if (next && m_focusPart != Part::menu) {
            setFocusedPart(Part(int(m_focusPart) + 1));
            return true;
        }
        if (next && noteField(current) && noteField(current)->isVisible()) {
            noteField(current)->setFocus(Qt::TabFocusReason);
            return true;
        }
        if (!next && m_focusPart != Part::checkbox) {
            setFocusedPart(Part(int(m_focusPart) - 1));
            return true;
        }
    }
    leave(next);
    return true;
}

void ComposeEntryList::leave(bool next)
{
    // The note fields are the list's own; the first control outside it takes the focus.
    QWidget* w = this;
    for (int guard = 0; guard < 10000; ++guard) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == this)
            return;
        if (isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(window()) || !w->isEnabled())
            continue;
        if (w->focusProxy())
            continue;
        w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return;
    }
}

void ComposeEntryList::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Tab and Backtab in a note field: the field stays, the focus moves on.
    if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
        for (int r = 0; r < m_rows->rowCount(); ++r) {
            const QModelIndex index = m_rows->index(r, 0);
            if (indexWidget(index) != editor)
                continue;
            setCurrentIndex(index);
            if (hint == QAbstractItemDelegate::EditNextItem) {
                leave(true);
            } else {
                m_focusPart = ComposeEntryRow::Part::menu;
                setFocus(Qt::OtherFocusReason);
                setFocusedPart(ComposeEntryRow::Part::menu);
            }
            return;
        }
    }
    QListView::closeEditor(editor, hint);
}

bool ComposeEntryList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Choosing a row never moves the focus into its note field; Tab reaches the field.
    if (trigger == QAbstractItemView::CurrentChanged)
        return false;
    return QListView::edit(index, trigger, event);
}

void ComposeEntryList::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListView::currentChanged(current, previous);
    announceFocus();
}

bool ComposeEntryList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // Each control of a row has its own help text.
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        QString text;
        if (index.isValid()) {
            switch (m_row->partAt(visualRect(index), help->pos())) {
            case ComposeEntryRow::Part::checkbox:
                text = ComposeEntryRow::includeHelp(isIncluded(index));
                break;
            case ComposeEntryRow::Part::handle:
                text = ComposeEntryRow::handleHelp();
                break;
            case ComposeEntryRow::Part::menu:
                text = ComposeEntryRow::menuHelp();
                break;
            case ComposeEntryRow::Part::none:
                break;
            }
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport(),
                m_row->partRect(visualRect(index), m_row->partAt(visualRect(index), help->pos())));
        return true;
    }
    return QListView::viewportEvent(event);
}

void ComposeEntryList::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_lastDropTarget = QPersistentModelIndex();
    dragEnteredRow(indexAt(event->position().toPoint()));
}

void ComposeEntryList::dragMoveEvent(QDragMoveEvent* event)
{
    if (!event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    dragEnteredRow(indexAt(event->position().toPoint()));
}

void ComposeEntryList::dragEnteredRow(const QModelIndex& index)
{
    if (!index.isValid() || index == m_lastDropTarget)
        return;
    m_lastDropTarget = index;
    if (m_draggedEntryID)
        m_actions.moveEntry(m_draggedEntryID, entryID(index));
}

void ComposeEntryList::dropEvent(QDropEvent* event)
{
    // The list was reordered on the way; the drop only confirms.
    event->setDropAction(Qt::MoveAction);
    event->accept();
    m_lastDropTarget = QPersistentModelIndex();
}
