#include "Zubra/LibraryWindow/ContentView.h"

#include "Platform/Workspace.h"
#include "Zubra/LibraryWindow/LibraryPlaceholders.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "Zubra/Widgets/FocusRing.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Drag/OwnDrags.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <utility>

namespace {

const QString productName = QStringLiteral("Tessellon");

// A container whose one child fills it, with margins.
QWidget* slotWidget(QWidget* parent, const QMargins& margins = {})
{
    auto* slot = new QWidget(parent);
    auto* layout = new QVBoxLayout(slot);
    layout->setContentsMargins(margins);
    layout->setSpacing(0);
    return slot;
}

SidebarChoice choiceFor(const std::optional<SidebarItem>& item)
{
    if (!item)
        return SidebarChoice::all();
    switch (item->kind()) {
    case SidebarItem::Kind::group: return SidebarChoice::group(item->uuid());
    case SidebarItem::Kind::source: return SidebarChoice::source(item->sourceIdentity()->identifier);
    default: return SidebarChoice::all();
    }
}

bool libraryUnavailable(StorePersistenceStatus status)
{
    return status.unavailableLibraryPresentation().has_value();
}

} // namespace

ContentView::ContentView(Store& store, const LibraryEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_environment(environment)
{
    m_visible = new VisibleSelectionsModel(&store, this);
    m_visible->setChoice(choiceFor(m_sidebarSelection));
    buildLayout();
    m_focusRing = new FocusRing(this);

    // Rows that leave take their identifiers out of the selection: each run of removed rows is
    // looked at alone, so a delete in many runs costs what it removes, not runs times the selection.
    connect(m_visible, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex&, int first, int last) {
            const QSet<QUuid>& selected = m_selection.selectedIDs();
            const std::optional<QUuid>& detail = m_selection.detailSelectionID();
            for (int row = first; row <= last; ++row) {
                const QUuid id = m_visible->idAt(row);
                if (id == detail || selected.contains(id))
                    m_leavingRows.append(id);
            }
        });
    connect(m_visible, &QAbstractItemModel::rowsRemoved, this, [this] {
        const QList<QUuid> gone = std::exchange(m_leavingRows, {});
        m_selection.forget(gone);
        refresh();
    });
    connect(m_visible, &QAbstractItemModel::rowsInserted, this, &ContentView::refresh);
    const auto rowsChanged = [this] { visibleRowsChanged(); };
    connect(m_visible, &QAbstractItemModel::layoutChanged, this, rowsChanged);
    connect(m_visible, &QAbstractItemModel::modelReset, this, rowsChanged);

    connect(&store, &Store::selectionsChanged, this, &ContentView::refresh);
    connect(&store, &Store::draftsChanged, this, &ContentView::refresh);
    connect(&store, &Store::activeDraftIDChanged, this, &ContentView::refresh);
    connect(&store, &Store::persistenceStatusChanged, this, &ContentView::refresh);
    connect(&m_selection, &LibrarySelectionState::detailSelectionIDChanged, this, &ContentView::refresh);

    WindowNotifications& notifications = *m_environment.notifications;
    connect(&notifications, &WindowNotifications::requestNewGroup, this,
        [this](const std::optional<Selection>& selection) {
            m_groupPendingSelection = selection;
            m_newGroupName.clear();
            setShowNewGroupSheet(true);
        });
    connect(&notifications, &WindowNotifications::openPrompt, this, &ContentView::openPrompt);
    connect(&notifications, &WindowNotifications::newPrompt, this, &ContentView::newPrompt);
    connect(&notifications, &WindowNotifications::focusSearch, this, &ContentView::focusSearch);
    m_environment.shellActions().watchTrust(this, [this] { refreshTrust(); });

    refresh();
}

ContentView::~ContentView() = default;

void ContentView::buildLayout()
{
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    m_toolbarSlot = slotWidget(this);
    m_toolbarSlot->hide();
    root->addWidget(m_toolbarSlot);

    m_columns = new QSplitter(Qt::Horizontal, this);
    m_columns->setChildrenCollapsible(false);
    root->addWidget(m_columns, 1);

    m_sidebarSlot = slotWidget(m_columns);
    m_sidebarSlot->setMinimumWidth(200);
    m_sidebarView = LibraryPlaceholders::sidebar(m_sidebarSlot);
    m_sidebarSlot->layout()->addWidget(m_sidebarView);
    m_columns->addWidget(m_sidebarSlot);

    m_layouts = new QStackedWidget(m_columns);
    m_columns->addWidget(m_layouts);
    m_columns->setStretchFactor(0, 0);
    m_columns->setStretchFactor(1, 1);

    // Library layout: the list column and the detail pane.
    m_libraryLayout = new QSplitter(Qt::Horizontal, m_layouts);
    m_libraryLayout->setChildrenCollapsible(false);
    auto* libraryColumn = new QWidget(m_libraryLayout);
    libraryColumn->setMinimumWidth(300);
    libraryColumn->setMaximumWidth(480);
    auto* columnLayout = new QVBoxLayout(libraryColumn);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    m_searchField = new QLineEdit(libraryColumn);
    m_searchField->setPlaceholderText(searchPrompt);
    m_searchField->setAccessibleName(searchPrompt);
    m_searchField->setClearButtonEnabled(true);
    OwnDrags::refuseIn(m_searchField); // a dropped row is no search
    auto* searchRow = slotWidget(libraryColumn, QMargins(10, 8, 10, 6));
    searchRow->layout()->addWidget(m_searchField);
    columnLayout->addWidget(searchRow);
    m_libraryBannerSlot = slotWidget(libraryColumn, QMargins(12, 8, 12, 0));
    columnLayout->addWidget(m_libraryBannerSlot);
    m_permissionSlot = slotWidget(libraryColumn, QMargins(12, 8, 12, 0));
    columnLayout->addWidget(m_permissionSlot);
    m_libraryContent = new QStackedWidget(libraryColumn);
    columnLayout->addWidget(m_libraryContent, 1);
    m_list = new LibrarySelectionList(m_store, *m_visible, m_selection, m_environment, m_libraryContent);
    m_list->setAccessibleName(u"Selections"_qs);
    m_libraryContent->addWidget(m_list);
    m_emptySlot = slotWidget(m_libraryContent);
    m_libraryContent->addWidget(m_emptySlot);
    m_unavailableSlot = slotWidget(m_libraryContent);
    m_libraryContent->addWidget(m_unavailableSlot);
    m_libraryLayout->addWidget(libraryColumn);

    m_detailColumn = new QStackedWidget(m_libraryLayout);
    m_detailColumn->setMinimumWidth(320);
    m_detailSlot = slotWidget(m_detailColumn);
    m_detailColumn->addWidget(m_detailSlot);
    m_detailPlaceholder = LibraryPlaceholders::detail(m_detailColumn);
    m_detailColumn->addWidget(m_detailPlaceholder);
    m_detailEmpty = new QWidget(m_detailColumn);
    m_detailColumn->addWidget(m_detailEmpty);
    m_libraryLayout->addWidget(m_detailColumn);
    m_libraryLayout->setStretchFactor(0, 0);
    m_libraryLayout->setStretchFactor(1, 1);
    m_libraryLayout->setSizes({360, 400});
    m_layouts->addWidget(m_libraryLayout);

    // Compose layout: the storage banner above the compose column.
    m_composeLayout = new QWidget(m_layouts);
    m_composeLayout->setMinimumWidth(680);
    auto* composeLayout = new QVBoxLayout(m_composeLayout);
    composeLayout->setContentsMargins(0, 0, 0, 0);
    composeLayout->setSpacing(0);
    m_composeBannerSlot = slotWidget(m_composeLayout, QMargins(12, 8, 12, 0));
    composeLayout->addWidget(m_composeBannerSlot);
    m_composeColumn = new QStackedWidget(m_composeLayout);
    composeLayout->addWidget(m_composeColumn, 1);
    m_composeSlot = slotWidget(m_composeColumn);
    m_composeColumn->addWidget(m_composeSlot);
    m_missingDraft = LibraryPlaceholders::missingDraft(m_composeColumn, &m_newPromptButton);
    connect(m_newPromptButton, &QPushButton::clicked, this, &ContentView::newPrompt);
    m_composeColumn->addWidget(m_missingDraft);
    m_layouts->addWidget(m_composeLayout);

    for (QWidget* slot : {m_libraryBannerSlot, m_permissionSlot, m_composeBannerSlot})
        slot->hide();

    connect(m_searchField, &QLineEdit::textChanged, this, &ContentView::setSearchText);
    m_searchField->installEventFilter(this);
}

void ContentView::placeInSlot(QWidget* container, QWidget*& current, QWidget* view)
{
    if (current == view)
        return;
    delete current;
    current = view;
    if (view) {
        view->setParent(container);
        container->layout()->addWidget(view);
        view->show();
    }
}

void ContentView::setSidebarView(QWidget* view)
{
    placeInSlot(m_sidebarSlot, m_sidebarView, view);
    // The divider stops where the sidebar stops growing: a wider slot would be an empty band.
    m_sidebarSlot->setMaximumWidth(view ? view->maximumWidth() : QWIDGETSIZE_MAX);
}

void ContentView::setToolbarView(QWidget* view)
{
    placeInSlot(m_toolbarSlot, m_toolbarView, view);
    m_toolbarSlot->setVisible(view != nullptr);
}

void ContentView::setDetailView(QWidget* view)
{
    placeInSlot(m_detailSlot, m_detailView, view);
    refresh();
}

void ContentView::setComposeView(QWidget* view)
{
    placeInSlot(m_composeSlot, m_composeView, view);
    refresh();
}

void ContentView::setEmptyStateView(QWidget* view) { placeInSlot(m_emptySlot, m_emptyView, view); }

void ContentView::setUnavailableLibraryView(QWidget* view) { placeInSlot(m_unavailableSlot, m_unavailableView, view); }

void ContentView::setPersistenceBanners(QWidget* inLibrary, QWidget* inCompose)
{
    placeInSlot(m_libraryBannerSlot, m_libraryBanner, inLibrary);
    placeInSlot(m_composeBannerSlot, m_composeBanner, inCompose);
    refresh();
}

void ContentView::setPermissionBanner(QWidget* view)
{
    placeInSlot(m_permissionSlot, m_permissionBanner, view);
    refresh();
}

void ContentView::setSidebarSelection(const std::optional<SidebarItem>& item)
{
    if (item == m_sidebarSelection) {
        // The same choice may name its source differently now.
        m_sidebarSelection = item;
        return;
    }
    m_sidebarSelection = item;
    m_visible->setChoice(choiceFor(item));
    emit sidebarSelectionChanged();
    refresh();
}

QString ContentView::searchText() const { return m_visible->searchText(); }

void ContentView::setSearchText(const QString& text)
{
    if (text == m_visible->searchText())
        return;
    m_visible->setSearchText(text);
    if (m_searchField->text() != text)
        m_searchField->setText(text);
    emit searchTextChanged();
}

void ContentView::setSortMode(SortMode mode)
{
    if (mode == m_sortMode)
        return;
    m_sortMode = mode;
    m_visible->setSortMode(mode);
    emit sortModeChanged();
}

bool ContentView::isFiltering() const
{
    return !searchText().trimmed().isEmpty() || (m_sidebarSelection && m_sidebarSelection->narrowsList());
}

std::optional<QUuid> ContentView::composeDraftID() const
{
    if (!isComposing())
        return std::nullopt;
    if (m_sidebarSelection->kind() == SidebarItem::Kind::draft) {
        if (m_store.findDraft(m_sidebarSelection->uuid()))
            return m_sidebarSelection->uuid();
        return std::nullopt;
    }
    if (const std::optional<ContextDraft> active = m_store.activeDraft())
        return active->id;
    return std::nullopt;
}

QString ContentView::titleText() const
{
    if (!isComposing())
        return productName;
    if (m_sidebarSelection->kind() == SidebarItem::Kind::draft) {
        if (const std::optional<ContextDraft> draft = m_store.findDraft(m_sidebarSelection->uuid()))
            return productName + QStringLiteral(" \u2014 ") + draft->name;
    }
    if (const std::optional<ContextDraft> active = m_store.activeDraft())
        return productName + QStringLiteral(" \u2014 ") + active->name;
    return productName;
}

void ContentView::setShowNewGroupSheet(bool show)
{
    m_showNewGroupSheet = show;
    if (show)
        emit newGroupSheetRequested();
}

void ContentView::newGroup()
{
    m_newGroupName.clear();
    setShowNewGroupSheet(true);
}

void ContentView::renameGroup(const SelectionGroup& group)
{
    m_groupToRename = group;
    m_renameGroupName = group.name;
    emit renameSheetRequested();
}

void ContentView::deleteGroupRequested(const SelectionGroup& group)
{
    m_groupPendingDeletion = group;
    emit deleteGroupAlertRequested();
}

void ContentView::clearGroupRequests()
{
    m_showNewGroupSheet = false;
    m_groupToRename.reset();
    m_groupPendingDeletion.reset();
}

void ContentView::newPrompt()
{
    if (!m_store.canModifyLibrary())
        return;
    const std::optional<ContextDraft> draft = m_store.newDraft();
    if (!draft)
        return;
    setSidebarSelection(SidebarItem::draft(draft->id));
}

void ContentView::openPrompt()
{
    if (!m_store.canModifyLibrary() && !m_store.activeDraft())
        return;
    m_store.ensureActiveDraft();
    setSidebarSelection(SidebarItem::prompt());
}

void ContentView::selectDraft(const QUuid& id)
{
    m_store.activateDraft(id);
    setSidebarSelection(SidebarItem::draft(id));
}

void ContentView::deleteDraft(QUuid id)
{
    m_store.deleteDraft(id);
    if (m_sidebarSelection == SidebarItem::draft(id))
        setSidebarSelection(SidebarItem::prompt());
}

void ContentView::focusSearch()
{
    if (isComposing())
        setSidebarSelection(SidebarItem::allSelections());
    m_searchField->setFocus(Qt::ShortcutFocusReason);
}

void ContentView::revealLibraryFolder()
{
    if (m_environment.workspace)
        m_environment.workspace->revealFile(m_store.storeURL());
}

ContentView::LibraryContent ContentView::libraryContent() const
{
    if (m_visible->rowCount() > 0)
        return LibraryContent::list;
    return libraryUnavailable(m_store.persistenceStatus()) ? LibraryContent::unavailable : LibraryContent::emptyState;
}

ContentView::DetailContent ContentView::detailContent() const
{
    const std::optional<QUuid>& id = m_selection.detailSelectionID();
    if (id && m_store.findByID(*id))
        return DetailContent::detail;
    return libraryUnavailable(m_store.persistenceStatus()) ? DetailContent::empty : DetailContent::placeholder;
}

bool ContentView::persistenceBannerShown() const
{
    const StorePersistenceStatus status = m_store.persistenceStatus();
    if (status == StorePersistenceStatus::ready)
        return false;
    return !(m_visible->rowCount() == 0 && libraryUnavailable(status));
}

bool ContentView::permissionBannerShown() const
{
    return m_store.canModifyLibrary() && !m_environment.shellActions().isTrusted();
}

void ContentView::visibleRowsChanged()
{
    m_selection.keepVisible([this](const QUuid& id) { return m_visible->rowOf(id) >= 0; });
    refresh();
}

void ContentView::refresh()
{
    m_layouts->setCurrentWidget(isComposing() ? m_composeLayout : static_cast<QWidget*>(m_libraryLayout));

    switch (libraryContent()) {
    case LibraryContent::list: m_libraryContent->setCurrentWidget(m_list); break;
    case LibraryContent::emptyState: m_libraryContent->setCurrentWidget(m_emptySlot); break;
    case LibraryContent::unavailable: m_libraryContent->setCurrentWidget(m_unavailableSlot); break;
    }
    const bool storageBanner = persistenceBannerShown();
    m_libraryBannerSlot->setVisible(storageBanner && m_libraryBanner);
    m_composeBannerSlot->setVisible(m_store.persistenceStatus() != StorePersistenceStatus::ready && m_composeBanner);
    showPermissionBanner(m_permissionBanner && permissionBannerShown());

    switch (detailContent()) {
    case DetailContent::detail:
        m_detailColumn->setCurrentWidget(m_detailView ? m_detailSlot : m_detailPlaceholder);
        break;
    case DetailContent::placeholder: m_detailColumn->setCurrentWidget(m_detailPlaceholder); break;
    case DetailContent::empty: m_detailColumn->setCurrentWidget(m_detailEmpty); break;
    }

    const std::optional<QUuid> draftID = composeDraftID();
    m_composeColumn->setCurrentWidget(draftID && m_composeView ? m_composeSlot : m_missingDraft);
    m_newPromptButton->setEnabled(m_store.canModifyLibrary());
    if (draftID != m_lastComposeDraftID) {
        m_lastComposeDraftID = draftID;
        emit composeDraftIDChanged();
    }
    refreshTitle();
}

void ContentView::refreshTitle()
{
    const QString title = titleText();
    if (title == m_lastTitle)
        return;
    m_lastTitle = title;
    applyTitle();
    emit titleChanged(title);
}

void ContentView::applyTitle()
{
    // The title names the window this view is the root of, also once it is placed in one.
    setWindowTitle(m_lastTitle);
    if (QWidget* top = window(); top != this)
        top->setWindowTitle(m_lastTitle);
}

bool ContentView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::ParentChange && !m_lastTitle.isEmpty())
        applyTitle();
    return handled;
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    // Down in the search field goes on into the results, to the inspected row or the first.
    if (watched == m_searchField && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier
        && m_libraryContent->currentWidget() == m_list) {
        if (!m_list->currentIndex().isValid() && m_list->model()->rowCount() > 0)
            m_list->setCurrentIndex(m_list->model()->index(0, 0));
        m_list->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ContentView::keyPressEvent(QKeyEvent* event)
{
    // Keys the focused control leaves unanswered, as Linux desktops use them.
    QWidget* focus = QApplication::focusWidget();
    if (focus && isAncestorOf(focus)) {
        const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
        auto* button = qobject_cast<QAbstractButton*>(focus);
        if (button && plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
            if (button->isEnabled())
                button->animateClick();
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
            const QPoint inside = focus->rect().center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, inside, focus->mapToGlobal(inside));
            QApplication::sendEvent(focus, &menu);
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void ContentView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        refreshTrust();
}

void ContentView::showPermissionBanner(bool shown)
{
    // The banner going while its button has the keyboard focus leaves the focus in its place, on
    // the list beneath it (else the search field above), not on the next control of the chain.
    QWidget* focus = QApplication::focusWidget();
    if (!shown && focus && m_permissionSlot->isVisible() && m_permissionSlot->isAncestorOf(focus)) {
        const bool listShown = m_libraryContent->currentWidget() == m_list && m_list->isEnabled();
        (listShown ? static_cast<QWidget*>(m_list) : m_searchField)->setFocus(Qt::OtherFocusReason);
    }
    m_permissionSlot->setVisible(shown);
}

void ContentView::refreshTrust()
{
    showPermissionBanner(m_permissionBanner && permissionBannerShown());
    emit trustRead();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownBefore) {
        // The window opens with the search field unfocused: the list, else the window itself, has
        // the keyboard first.
        m_shownBefore = true;
        if (m_libraryContent->currentWidget() == m_list && m_list->isEnabled())
            m_list->setFocus(Qt::OtherFocusReason);
        else
            setFocus(Qt::OtherFocusReason);
    }
    if (!m_sidebarSelection)
        setSidebarSelection(SidebarItem::allSelections());
    if (m_store.selections().isEmpty() && m_store.canModifyLibrary()) {
        m_showWelcome = true;
        emit welcomeRequested();
        if (m_presentWelcome)
            m_presentWelcome();
    }
}
