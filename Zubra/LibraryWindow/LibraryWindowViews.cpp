#include "Zubra/LibraryWindow/LibraryWindowViews.h"

#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibraryToolbar.h"
#include "Zubra/LibraryWindow/NamingSheetPresenter.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "Zubra/LibraryWindow/StatusViews.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"

namespace {

EmptyStateScope scopeOf(const std::optional<SidebarItem>& item)
{
    if (item && item->kind() == SidebarItem::Kind::group)
        return EmptyStateScope::group;
    if (item && item->kind() == SidebarItem::Kind::source)
        return EmptyStateScope::source;
    return EmptyStateScope::library;
}

LibraryRecoveryPresentation recoveryOf(StorePersistenceStatus status)
{
    return status.unavailableLibraryPresentation().value_or(LibraryRecoveryPresentation::incompatibleVersion);
}

} // namespace

LibraryWindowViews::LibraryWindowViews(ContentView& window)
    : QObject(&window)
    , m_window(window)
{
    Store& store = window.store();
    const LibraryEnvironment& environment = window.environment();

    // Group sheets and the delete alert: the window asks, the presenter shows and judges.
    m_sheets = new GroupSheetPresenter(store, &window, this);
    connect(&window, &ContentView::newGroupSheetRequested, this, [this] {
        if (const std::optional<QSet<QUuid>> ids = m_window.groupPendingSelectionIDs(); ids && !ids->isEmpty())
            m_sheets->requestNewGroupWith(*ids);
        else if (const std::optional<Selection> selection = m_window.groupPendingSelection())
            m_sheets->requestNewGroupFor(*selection);
        else
            m_sheets->requestNewGroup();
        m_window.setGroupPendingSelection(std::nullopt);
        m_window.setGroupPendingSelectionIDs(std::nullopt);
    });
    connect(&window, &ContentView::renameSheetRequested, this, [this] {
        if (m_window.groupToRename())
            m_sheets->requestRename(*m_window.groupToRename());
    });
    connect(&window, &ContentView::deleteGroupAlertRequested, this, [this] {
        if (m_window.groupPendingDeletion())
            m_sheets->requestDelete(*m_window.groupPendingDeletion());
    });
    connect(m_sheets, &GroupSheetPresenter::groupCreated, this,
        [this](const QUuid& id) { m_window.setSidebarSelection(SidebarItem::group(id)); });
    connect(m_sheets, &GroupSheetPresenter::groupDeleting, this, [this](const QUuid& id) {
        if (m_window.sidebarSelection() == SidebarItem::group(id))
            m_window.setSidebarSelection(SidebarItem::allSelections());
    });
    connect(m_sheets, &GroupSheetPresenter::closed, &window, &ContentView::clearGroupRequests);

    // Sidebar.
    SidebarCallbacks callbacks;
    callbacks.onNewGroup = [this] { m_window.newGroup(); };
    callbacks.onRenameGroup = [this](const SelectionGroup& group) { m_window.renameGroup(group); };
    callbacks.onDeleteGroup = [this](const SelectionGroup& group) { m_window.deleteGroupRequested(group); };
    callbacks.onNewPrompt = [this] { m_window.newPrompt(); };
    callbacks.onSelectDraft = [this](const QUuid& id) { m_window.selectDraft(id); };
    callbacks.onDeleteDraft = [this](const QUuid& id) { m_window.deleteDraft(id); };
    m_sidebar = new SidebarView(store, environment, std::move(callbacks));
    m_sidebar->setSelection(window.sidebarSelection());
    connect(m_sidebar, &SidebarView::chosen, this, [this](const SidebarItem& item) { m_window.setSidebarSelection(item); });
    connect(&window, &ContentView::sidebarSelectionChanged, this, [this] {
        m_sidebar->setSelection(m_window.sidebarSelection());
        m_toolbar->refresh();
        refreshEmptyState();
    });
    window.setSidebarView(m_sidebar);

    // Toolbar and the banner over the library column.
    m_banner = new AddToPromptBanner(window.list().parentWidget());
    LibraryToolbar::Window access;
    access.sidebarSelection = [this] { return m_window.sidebarSelection(); };
    access.setSidebarSelection = [this](const SidebarItem& item) { m_window.setSidebarSelection(item); };
    access.selectedIDs = [this] { return m_window.selectionState().selectedIDs(); };
    access.setSelectedIDs = [this](const QSet<QUuid>& ids) {
        m_window.selectionState().set(ids, m_window.selectionState().detailSelectionID());
    };
    access.setDetailSelectionID
        = [this](const std::optional<QUuid>& id) { m_window.selectionState().setDetailSelectionID(id); };
    access.visibleSelections = [this] {
        const VisibleSelectionsModel& model = m_window.visibleSelections();
        QList<Selection> out;
        out.reserve(model.rowCount());
        for (int row = 0; row < model.rowCount(); ++row)
            out.append(model.selectionAt(row));
        return out;
    };
    access.sortMode = [this] { return m_window.sortMode(); };
    access.setSortMode = [this](SortMode mode) { m_window.setSortMode(mode); };
    m_toolbar = new LibraryToolbar(store, environment, *m_sheets, std::move(access), m_banner);
    connect(&window.selectionState(), &LibrarySelectionState::selectedIDsChanged, m_toolbar, &LibraryToolbar::refresh);
    connect(&window, &ContentView::sortModeChanged, m_toolbar, &LibraryToolbar::refresh);
    window.setToolbarView(m_toolbar);
    connect(&window.list(), &LibrarySelectionList::deleteRequested, m_toolbar, &LibraryToolbar::deleteSelected);

    // Detail.
    m_detail = new SelectionDetailView(store, environment);
    m_detail->setOnDelete([this] {
        if (m_detail->selection())
            m_window.store().deleteSelection(m_detail->selection()->id);
    });
    connect(&window.selectionState(), &LibrarySelectionState::detailSelectionIDChanged, this,
        &LibraryWindowViews::showInspectedSelection);
    window.setDetailView(m_detail);
    showInspectedSelection();

    // Empty, unavailable and status views.
    m_empty = new EmptyStateView;
    m_empty->setTurnOnAccessibility([this] {
        m_window.environment().shellActions().openAccessibilitySettings();
        m_window.refreshTrust();
    });
    connect(&window, &ContentView::searchTextChanged, this, &LibraryWindowViews::refreshEmptyState);
    window.setEmptyStateView(m_empty);
    const auto reveal = [this] { m_window.revealLibraryFolder(); };
    m_unavailable = new UnavailableLibraryView(recoveryOf(store.persistenceStatus()), reveal);
    window.setUnavailableLibraryView(m_unavailable);
    m_libraryBanner = new PersistenceStatusBanner(store.persistenceStatus(), reveal);
    m_composeBanner = new PersistenceStatusBanner(store.persistenceStatus(), reveal);
    window.setPersistenceBanners(m_libraryBanner, m_composeBanner);
    m_permission = new PermissionBanner([this] {
        m_window.environment().shellActions().openAccessibilitySettings();
        m_window.refreshTrust();
    });
    connect(&window, &ContentView::trustRead, this, &LibraryWindowViews::refreshEmptyState);
    window.setPermissionBanner(m_permission);
    connect(&store, &Store::persistenceStatusChanged, this, &LibraryWindowViews::refreshStatus);
    refreshEmptyState();
}

void LibraryWindowViews::showInspectedSelection()
{
    const std::optional<QUuid> id = m_window.selectionState().detailSelectionID();
    if (!id)
        return;
    if (const std::optional<Selection> selection = m_window.store().findByID(*id))
        m_detail->setSelection(*selection);
}

void LibraryWindowViews::refreshEmptyState()
{
    ShellActions& shell = m_window.environment().shellActions();
    m_empty->setState(m_window.isFiltering(), !shell.isTrusted(), m_window.searchText(),
        scopeOf(m_window.sidebarSelection()), shell.hotkeyDisplay());
}

void LibraryWindowViews::refreshStatus()
{
    const StorePersistenceStatus status = m_window.store().persistenceStatus();
    m_libraryBanner->setStatus(status);
    m_composeBanner->setStatus(status);
    m_unavailable->setRecovery(recoveryOf(status));
}
