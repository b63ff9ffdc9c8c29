#pragma once
// The root of the main window: the sidebar column, then either the library layout (the
// searchable selection list and the detail pane) or the compose layout (the prompt composer),
// chosen by what the sidebar has chosen. It owns the window's transient state, answers the
// window notifications and opens the welcome sheet on an empty library.
//
// The sidebar, the detail, the composer, the banners, the empty-state views and the toolbar are
// separate views that the program places in this view's slots; until then each slot shows a
// plain placeholder. Every slot view reads the store and this view's state itself; this view
// decides only which of them is shown.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "Zubra/LibraryWindow/SidebarItem.h"
#include "ZubraCore/Library/SelectionGroup.h"
#include "ZubraCore/Library/SortMode.h"

#include <QSet>
#include <QUuid>
#include <QWidget>
#include <optional>

class FocusRing;
class LibrarySelectionList;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class Store;
class VisibleSelectionsModel;

class ContentView : public QWidget
{
    Q_OBJECT

public:
    static inline const QString searchPrompt = QStringLiteral("Search all selections");

    ContentView(Store& store, const LibraryEnvironment& environment, QWidget* parent = nullptr);
    ~ContentView() override;

    // Slots for the views built elsewhere. Each takes ownership; the previous view is deleted.
    void setSidebarView(QWidget* view); // the first column of both layouts
    void setToolbarView(QWidget* view); // above the columns
    void setDetailView(QWidget* view); // shown while an existing selection is inspected
    void setComposeView(QWidget* view); // shown while the compose draft exists; see composeDraftID
    void setEmptyStateView(QWidget* view); // the list is empty and the library usable
    void setUnavailableLibraryView(QWidget* view); // the list is empty and the library unavailable
    // The storage banner above the list and above the composer (two instances of one view).
    void setPersistenceBanners(QWidget* inLibrary, QWidget* inCompose);
    void setPermissionBanner(QWidget* view);
    // Presents the welcome sheet; called each time showWelcome becomes true. The presenter calls
    // welcomeDismissed() when the sheet closes.
    void setWelcomePresenter(std::function<void()> present) { m_presentWelcome = std::move(present); }

    // State.
    Store& store() const { return m_store; }
    const LibraryEnvironment& environment() const { return m_environment; }
    VisibleSelectionsModel& visibleSelections() const { return *m_visible; }
    LibrarySelectionState& selectionState() { return m_selection; }
    LibrarySelectionList& list() const { return *m_list; }
    QLineEdit& searchField() const { return *m_searchField; }
    // The mark around the control that has the keyboard focus.
    FocusRing& focusRing() const { return *m_focusRing; }

    const std::optional<SidebarItem>& sidebarSelection() const { return m_sidebarSelection; }
    void setSidebarSelection(const std::optional<SidebarItem>& item);
    QString searchText() const;
    void setSearchText(const QString& text);
    SortMode sortMode() const { return m_sortMode; }
    void setSortMode(SortMode mode);
    // The search narrows the list, or a group or source is chosen.
    bool isFiltering() const;
    bool isComposing() const { return m_sidebarSelection && m_sidebarSelection->isCompose(); }
    // The draft the compose column shows: the chosen draft, else the active one; none when the
    // library layout is shown or the draft does not exist.
    std::optional<QUuid> composeDraftID() const;
    // "Tessellon", or "Tessellon — " and the name of the draft being composed.
    QString titleText() const;

    // The new-group sheet's state, and what the group about to be created receives.
    bool showNewGroupSheet() const { return m_showNewGroupSheet; }
    void setShowNewGroupSheet(bool show);
    QString newGroupName() const { return m_newGroupName; }
    void setNewGroupName(const QString& name) { m_newGroupName = name; }
    const std::optional<Selection>& groupPendingSelection() const { return m_groupPendingSelection; }
    void setGroupPendingSelection(const std::optional<Selection>& s) { m_groupPendingSelection = s; }
    const std::optional<QSet<QUuid>>& groupPendingSelectionIDs() const { return m_groupPendingSelectionIDs; }
    void setGroupPendingSelectionIDs(const std::optional<QSet<QUuid>>& ids) { m_groupPendingSelectionIDs = ids; }
    // The rename sheet and the delete alert of a group.
    const std::optional<SelectionGroup>& groupToRename() const { return m_groupToRename; }
    QString renameGroupName() const { return m_renameGroupName; }
    const std::optional<SelectionGroup>& groupPendingDeletion() const { return m_groupPendingDeletion; }
    bool showWelcome() const { return m_showWelcome; }
    void welcomeDismissed() { m_showWelcome = false; }

    // Actions of the sidebar, the menus and the placeholders.
    void newGroup();
    void renameGroup(const SelectionGroup& group);
    void deleteGroupRequested(const SelectionGroup& group);
    void clearGroupRequests();
    void newPrompt();
    void openPrompt();
    void selectDraft(const QUuid& id);
    void deleteDraft(QUuid id); // by value: the caller may pass an id held by the store
    void focusSearch();
    // Shows the store's own library file in the file manager.
    void revealLibraryFolder();

    // Which pane is shown, for tests and the export.
    enum class LibraryContent { list, emptyState, unavailable };
    LibraryContent libraryContent() const;
    enum class DetailContent { detail, placeholder, empty };
    DetailContent detailContent() const;
    bool persistenceBannerShown() const;
    bool permissionBannerShown() const;
    // Reads trust again and shows or hides the permission banner: after the banner's own button,
    // when the desktop's accessibility switch changes, and when the window becomes active.
    void refreshTrust();

signals:
    void trustRead(); // refreshTrust() ran: views that show trust read it again
    void sidebarSelectionChanged();
    void searchTextChanged();
    void sortModeChanged();
    void titleChanged(const QString& title);
    void composeDraftIDChanged();
    void newGroupSheetRequested();
    void renameSheetRequested();
    void deleteGroupAlertRequested();
    void welcomeRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
    void refresh();
    void refreshTitle();
    void applyTitle();
    void visibleRowsChanged();
    void showPermissionBanner(bool shown);
    void placeInSlot(QWidget* container, QWidget*& current, QWidget* view);

    Store& m_store;
    LibraryEnvironment m_environment;
    VisibleSelectionsModel* m_visible = nullptr;
    LibrarySelectionState m_selection;

    std::optional<SidebarItem> m_sidebarSelection = SidebarItem::allSelections();
    SortMode m_sortMode = SortMode::newestFirst;
    bool m_showNewGroupSheet = false;
    QString m_newGroupName;
    std::optional<Selection> m_groupPendingSelection;
    std::optional<QSet<QUuid>> m_groupPendingSelectionIDs;
    std::optional<SelectionGroup> m_groupToRename;
    QString m_renameGroupName;
    std::optional<SelectionGroup> m_groupPendingDeletion;
    bool m_showWelcome = false;
    std::function<void()> m_presentWelcome;
    QList<QUuid> m_leavingRows; // selected or inspected rows about to be removed
    std::optional<QUuid> m_lastComposeDraftID;
    QString m_lastTitle;
    bool m_shownBefore = false;

    // Widgets.
    QSplitter* m_columns = nullptr;
    QWidget* m_toolbarSlot = nullptr;
    QWidget* m_toolbarView = nullptr;
    QWidget* m_sidebarSlot = nullptr;
    QWidget* m_sidebarView = nullptr;
    QStackedWidget* m_layouts = nullptr;
    QSplitter* m_libraryLayout = nullptr;
    QWidget* m_composeLayout = nullptr;
    QLineEdit* m_searchField = nullptr;
    QWidget* m_libraryBannerSlot = nullptr;
    QWidget* m_libraryBanner = nullptr;
    QWidget* m_permissionSlot = nullptr;
    QWidget* m_permissionBanner = nullptr;
    QStackedWidget* m_libraryContent = nullptr;
    LibrarySelectionList* m_list = nullptr;
    QWidget* m_emptySlot = nullptr;
    QWidget* m_emptyView = nullptr;
    QWidget* m_unavailableSlot = nullptr;
    QWidget* m_unavailableView = nullptr;
    QStackedWidget* m_detailColumn = nullptr;
    QWidget* m_detailSlot = nullptr;
    QWidget* m_detailView = nullptr;
    QWidget* m_detailPlaceholder = nullptr;
    QWidget* m_detailEmpty = nullptr;
    QWidget* m_composeBannerSlot = nullptr;
    QWidget* m_composeBanner = nullptr;
    QStackedWidget* m_composeColumn = nullptr;
    QWidget* m_composeSlot = nullptr;
    QWidget* m_composeView = nullptr;
    QWidget* m_missingDraft = nullptr;
    QPushButton* m_newPromptButton = nullptr;
    FocusRing* m_focusRing = nullptr;
};
