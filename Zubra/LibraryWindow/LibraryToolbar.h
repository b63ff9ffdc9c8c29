#pragma once
// The main window's toolbar and its collection and multi-selection commands: capture, the chosen
// group's commands, the commands on the selected rows, the sort menu, and the add-to-prompt
// banner they flash. The toolbar reads and changes the window's view state through the window's
// accessors; the group sheets and the delete alert belong to the group sheet presenter.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/SidebarItem.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SortMode.h"

#include <QPointer>
#include <QSet>
#include <QToolBar>
#include <QUuid>
#include <chrono>
#include <functional>
#include <optional>

class GroupSheetPresenter;
class QLabel;
class Store;

// The banner over the library column after an add to the prompt: shown at once, hidden 2.2 s
// after each flash (every flash has its own timer, and a timer hides whatever banner shows).
// A screen reader meets it as one element, its text.
class AddToPromptBanner : public QWidget
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds showFor {2200};

    // Lies over the area, as a child of the area's parent: a stacked area shows a screen reader
    // its pages alone.
    explicit AddToPromptBanner(QWidget* over);

    void flash(int added, int total);
    bool isShown() const { return m_shown; }
    QString text() const;
    // "Already in the prompt", or "Added 2 of 3 selections to the prompt".
    static QString textFor(int added, int total);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setShown(bool shown);

    QPointer<QWidget> m_over;
    int m_added = 0;
    int m_total = 0;
    bool m_shown = false;
    QLabel* m_label = nullptr;
};

class LibraryToolbar : public QToolBar
{
    Q_OBJECT

public:
    // The window's view state, as the toolbar reads and sets it.
    struct Window
    {
        std::function<std::optional<SidebarItem>()> sidebarSelection;
        std::function<void(const SidebarItem&)> setSidebarSelection;
        std::function<QSet<QUuid>()> selectedIDs;
        std::function<void(const QSet<QUuid>&)> setSelectedIDs;
        std::function<void(const std::optional<QUuid>&)> setDetailSelectionID;
        // The list's content, in list order.
        std::function<QList<Selection>()> visibleSelections;
        std::function<SortMode()> sortMode;
        std::function<void(SortMode)> setSortMode;
    };

    LibraryToolbar(Store& store, const LibraryEnvironment& environment, GroupSheetPresenter& sheets, Window window,
        AddToPromptBanner* banner, QWidget* parent = nullptr);

    // Rebuilds the items for the window's state; the window calls it when the sidebar choice,
    // the multi-selection or the library changes.
    void refresh();

    // Collection commands (group `groupID`).
    void selectAllInCollection(const QUuid& groupID);
    void addCollectionToPrompt(const QUuid& groupID);
    void newPromptFromCollection(const QUuid& groupID);
    void copyCollectionMarkdown(const QUuid& groupID);
    void copyCollectionPlain(const QUuid& groupID);
    // Multi-selection commands.
    void addSelectedToPrompt();
    void newPromptWithSelection();
    void copySelectedMarkdown();
    void copySelectedPlain();
    void deleteSelected();
    void addSelectedToGroup(const QUuid& groupID);
    void newGroupWithSelected();
    void capture();

    // The texts of the items shown, in order ("|" for the sort menu and menus by their labels).
    QStringList itemTitles() const;

private:
    void makeReachable(const std::optional<QString>& focusedTitle);
    void addMenuButton(const QString& title, const QString& symbol, const QString& help, QMenu* menu);
    void addButton(const QString& title, const QString& symbol, const QString& help, std::function<void()> action,
        bool enabled = true);
    QList<Selection> chosen() const;

    Store& m_store;
    const LibraryEnvironment& m_environment;
    GroupSheetPresenter& m_sheets;
    Window m_window;
    AddToPromptBanner* m_banner = nullptr;
};
