#pragma once
// The presenter of the group sheets: it owns the names being typed and the members waiting for a
// new group, shows the naming sheet for a new or renamed group and the delete-group alert, judges
// the typed name (trimmed of white space and line breaks, both for new and renamed groups) and
// closes what it showed. What the window does after a change is reported through signals.

#include "Zubra/LibraryWindow/NamingSheet.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <optional>

class Store;

class GroupSheetPresenter : public QObject
{
    Q_OBJECT

public:
    // The colour every new group gets.
    static inline const QString newGroupColor = QStringLiteral("#4F8EF7");

    // Sheets and alerts are window-modal over `window`.
    GroupSheetPresenter(Store& store, QWidget* window, QObject* parent = nullptr);
    ~GroupSheetPresenter() override;

    // The three openers of the new-group sheet. The first leaves waiting members as they are.
    void requestNewGroup();
    void requestNewGroupFor(const Selection& selection);
    void requestNewGroupWith(const QSet<QUuid>& selectionIDs);
    void requestRename(const SelectionGroup& group);
    void requestDelete(const SelectionGroup& group);

    // The sheet's two outcomes; also what the sheet's buttons and keys reach.
    void cancelNewGroup();
    // Returns the new group; the sheet stays open when none was made.
    std::optional<SelectionGroup> createGroupAndClose();
    void cancelRename();
    void renameGroupAndClose();
    // The alert's "Delete Group".
    void deleteGroupAndClose(const SelectionGroup& group);
    void cancelDelete();

    // State, for the window and for tests.
    const QString& newGroupName() const { return m_newGroupName; }
    const QString& renameGroupName() const { return m_renameGroupName; }
    NameSheet* newGroupSheet() const { return m_newGroupSheet; }
    NameSheet* renameSheet() const { return m_renameSheet; }
    QMessageBox* deleteAlert() const { return m_deleteAlert; }
    const std::optional<SelectionGroup>& groupToRename() const { return m_groupToRename; }
    const std::optional<SelectionGroup>& groupPendingDeletion() const { return m_groupPendingDeletion; }
    const std::optional<Selection>& groupPendingSelection() const { return m_pendingSelection; }
    const std::optional<QSet<QUuid>>& groupPendingSelectionIDs() const { return m_pendingSelectionIDs; }

signals:
    // A group was made from the new-group sheet: the window shows it.
    void groupCreated(const QUuid& groupID);
    // A group is about to be deleted (the window leaves it first when it shows it).
    void groupDeleting(const QUuid& groupID);
    // A sheet or the alert has closed, by any means.
    void closed();

private:
    void showNewGroupSheet();
    void closeNewGroupSheet();
    void closeRenameSheet();

    Store& m_store;
    QPointer<QWidget> m_window;
    QString m_newGroupName;
    QString m_renameGroupName;
    std::optional<Selection> m_pendingSelection;
    std::optional<QSet<QUuid>> m_pendingSelectionIDs;
    std::optional<SelectionGroup> m_groupToRename;
    std::optional<SelectionGroup> m_groupPendingDeletion;
    QPointer<NameSheet> m_newGroupSheet;
    QPointer<NameSheet> m_renameSheet;
    QPointer<QMessageBox> m_deleteAlert;
};
