#pragma once
// Puts the library window's sidebar, toolbar, detail, empty and status views, the group sheets
// and the add-to-prompt banner into the main window root's slots, and keeps them in step with
// the root's state: the sidebar choice both ways, the inspected selection, the search text, the
// multi-selection and the library's status. Created once per window, owned by it.

#include <QObject>

class AddToPromptBanner;
class ContentView;
class EmptyStateView;
class GroupSheetPresenter;
class LibraryToolbar;
class PermissionBanner;
class PersistenceStatusBanner;
class SelectionDetailView;
class SidebarView;
class UnavailableLibraryView;

class LibraryWindowViews : public QObject
{
    Q_OBJECT

public:
    explicit LibraryWindowViews(ContentView& window);

    SidebarView& sidebar() const { return *m_sidebar; }
    LibraryToolbar& toolbar() const { return *m_toolbar; }
    SelectionDetailView& detail() const { return *m_detail; }
    EmptyStateView& emptyState() const { return *m_empty; }
    UnavailableLibraryView& unavailable() const { return *m_unavailable; }
    PersistenceStatusBanner& libraryBanner() const { return *m_libraryBanner; }
    GroupSheetPresenter& sheets() const { return *m_sheets; }
    AddToPromptBanner& banner() const { return *m_banner; }

    // Reads trust and the hotkey text again (they have no change signal).
    void refreshEmptyState();

private:
    void showInspectedSelection();
    void refreshStatus();

    ContentView& m_window;
    SidebarView* m_sidebar = nullptr;
    LibraryToolbar* m_toolbar = nullptr;
    SelectionDetailView* m_detail = nullptr;
    EmptyStateView* m_empty = nullptr;
    UnavailableLibraryView* m_unavailable = nullptr;
    PersistenceStatusBanner* m_libraryBanner = nullptr;
    PersistenceStatusBanner* m_composeBanner = nullptr;
    PermissionBanner* m_permission = nullptr;
    GroupSheetPresenter* m_sheets = nullptr;
    AddToPromptBanner* m_banner = nullptr;
};
