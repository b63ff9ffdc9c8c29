#pragma once
// The main window's first column: the prompt and the other drafts, the whole library, the groups
// and the sources, each section a list over the sidebar model, and the storage status line. A
// click chooses the window's sidebar item; group and draft commands go to the window through
// callbacks; copies and additions to the prompt are done here through the store. Group and source
// rows drag their selections from a handle; the prompt row and group rows take dropped selections.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/SidebarItem.h"
#include "ZubraCore/Library/SelectionGroup.h"
#include "ZubraCore/Models/SidebarModel.h"

#include <QScrollArea>
#include <functional>
#include <optional>

class QLabel;
class QMenu;
class QPushButton;
class SidebarRowDelegate;
class SidebarSectionList;
class Store;

struct SidebarCallbacks
{
    std::function<void()> onNewGroup;
    std::function<void(const SelectionGroup&)> onRenameGroup;
    std::function<void(const SelectionGroup&)> onDeleteGroup;
    std::function<void()> onNewPrompt;
    std::function<void(const QUuid&)> onSelectDraft;
    std::function<void(const QUuid&)> onDeleteDraft;
};

class SidebarView : public QScrollArea
{
    Q_OBJECT

public:
    // The model is the sidebar's own unless one is given (it must then outlive the view).
    SidebarView(Store& store, const LibraryEnvironment& environment, SidebarCallbacks callbacks,
        SidebarModel* model = nullptr, QWidget* parent = nullptr);
    ~SidebarView() override;

    // The window's sidebar item; setting it marks the row without emitting chosen().
    void setSelection(const std::optional<SidebarItem>& item);
    const std::optional<SidebarItem>& selection() const { return m_selection; }

    SidebarModel* model() const { return m_model; }
    SidebarSectionList* list(SidebarModel::Section section) const;
    // The item a row stands for.
    std::optional<SidebarItem> itemAt(const QModelIndex& index) const;
    // Fills a row's context menu; empty for rows without one.
    void fillMenu(QMenu& menu, const QModelIndex& index);
    // The text of the storage status line.
    QString statusText() const;

    // Commands of the menus.
    void addGroupToPrompt(const QUuid& groupID);
    void newPromptFromGroup(const QUuid& groupID);
    void copyGroupMarkdown(const QUuid& groupID);
    void copyGroupPlain(const QUuid& groupID);
    void addSourceToPrompt(const QString& sourceIdentifier);
    void copySourceMarkdown(const QString& sourceIdentifier);
    void copySourcePlain(const QString& sourceIdentifier);

    // The drag text of a group or source row.
    QString dragPayload(const QModelIndex& index) const;

    QSize sizeHint() const override;

signals:
    // The user chose a row (or a command opened a new draft).
    void chosen(const SidebarItem& item);

private:
    void rowChosen(SidebarSectionList* list, const QModelIndex& index);
    void markSelection();
    void updateStatus();
    void updateSectionExtras();
    void choose(const SidebarItem& item);

    Store& m_store;
    const LibraryEnvironment& m_environment;
    SidebarCallbacks m_callbacks;
    SidebarModel* m_model = nullptr;
    bool m_ownsModel = false;
    SidebarRowDelegate* m_delegate = nullptr;
    std::optional<SidebarItem> m_selection;
    bool m_marking = false;

    SidebarSectionList* m_lists[4] = {};
    QPushButton* m_newPrompt = nullptr;
    QPushButton* m_newGroup = nullptr;
    QLabel* m_promptFooter = nullptr;
    QLabel* m_groupsFooter = nullptr;
    QLabel* m_noSources = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_status = nullptr;
};
