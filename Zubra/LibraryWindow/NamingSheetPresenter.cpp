#include "Zubra/LibraryWindow/NamingSheetPresenter.h"

#include "Zubra/LibraryWindow/NamingSheet.h"
#include "ZubraCore/Library/Store.h"

#include <QMessageBox>
#include <QPushButton>

GroupSheetPresenter::GroupSheetPresenter(Store& store, QWidget* window, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_window(window)
{
}

GroupSheetPresenter::~GroupSheetPresenter()
{
    delete m_newGroupSheet.data();
    delete m_renameSheet.data();
    delete m_deleteAlert.data();
}

void GroupSheetPresenter::requestNewGroup()
{
    m_newGroupName.clear();
    showNewGroupSheet();
}

void GroupSheetPresenter::requestNewGroupFor(const Selection& selection)
{
    m_pendingSelection = selection;
    requestNewGroup();
}

void GroupSheetPresenter::requestNewGroupWith(const QSet<QUuid>& selectionIDs)
{
    m_pendingSelectionIDs = selectionIDs;
    requestNewGroup();
}

void GroupSheetPresenter::showNewGroupSheet()
{
    if (m_newGroupSheet) {
        m_newGroupSheet->setName(m_newGroupName);
        m_newGroupSheet->show();
        return;
    }
    auto* sheet = new NameSheet(u"New Group"_qs, u"Create"_qs, m_newGroupName, m_window);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &NameSheet::nameEdited, this, [this](const QString& name) { m_newGroupName = name; });
    connect(sheet, &NameSheet::cancelRequested, this, &GroupSheetPresenter::cancelNewGroup);
    connect(sheet, &NameSheet::commitRequested, this, [this] { createGroupAndClose(); });
    m_newGroupSheet = sheet;
    sheet->show();
}

void GroupSheetPresenter::closeNewGroupSheet()
{
    if (m_newGroupSheet) {
        m_newGroupSheet->dismiss();
        m_newGroupSheet->deleteLater();
        m_newGroupSheet = nullptr;
        emit closed();
    }
}

void GroupSheetPresenter::cancelNewGroup()
{
    m_pendingSelection.reset();
    m_pendingSelectionIDs.reset();
    closeNewGroupSheet();
}

std::optional<SelectionGroup> GroupSheetPresenter::createGroupAndClose()
{
    if (!m_store.canModifyLibrary())
        return std::nullopt;
    const QString name = m_newGroupName.trimmed();
    if (name.isEmpty())
        return std::nullopt;
    std::optional<SelectionGroup> group;
    if (m_pendingSelectionIDs && !m_pendingSelectionIDs->isEmpty()) {
        group = m_store.createGroup(name, newGroupColor, *m_pendingSelectionIDs);
        if (!group)
            return std::nullopt;
        m_pendingSelectionIDs.reset();
    } else {
        group = m_store.addGroup(name, newGroupColor);
        if (!group)
            return std::nullopt;
        if (m_pendingSelection)
            m_store.addToGroup(group->id, {m_pendingSelection->id});
    }
    m_pendingSelection.reset();
    closeNewGroupSheet();
    emit groupCreated(group->id);
    return group;
}

void GroupSheetPresenter::requestRename(const SelectionGroup& group)
{
    m_groupToRename = group;
    m_renameGroupName = group.name;
    closeRenameSheet();
    auto* sheet = new NameSheet(u"Rename Group"_qs, u"Rename"_qs, m_renameGroupName, m_window);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &NameSheet::nameEdited, this, [this](const QString& name) { m_renameGroupName = name; });
    connect(sheet, &NameSheet::cancelRequested, this, &GroupSheetPresenter::cancelRename);
    connect(sheet, &NameSheet::commitRequested, this, &GroupSheetPresenter::renameGroupAndClose);
    m_renameSheet = sheet;
    sheet->show();
}

void GroupSheetPresenter::closeRenameSheet()
{
    if (m_renameSheet) {
        m_renameSheet->dismiss();
        m_renameSheet->deleteLater();
        m_renameSheet = nullptr;
        emit closed();
    }
}

void GroupSheetPresenter::cancelRename()
{
    m_groupToRename.reset();
    closeRenameSheet();
}

void GroupSheetPresenter::renameGroupAndClose()
{
    const QString name = m_renameGroupName.trimmed();
    if (!m_groupToRename || name.isEmpty())
        return;
    m_store.renameGroup(m_groupToRename->id, name);
    m_groupToRename.reset();
    closeRenameSheet();
}

void GroupSheetPresenter::requestDelete(const SelectionGroup& group)
{
    m_groupPendingDeletion = group;
    delete m_deleteAlert.data();
    auto* alert = new QMessageBox(m_window);
    alert->setWindowModality(Qt::WindowModal);
    alert->setIcon(QMessageBox::Warning);
    alert->setWindowTitle(u"Delete Group?"_qs);
    alert->setText(u"Delete Group?"_qs);
    alert->setInformativeText(
        u"The captures will stay in the library, but their membership in this group will be removed."_qs);
    QPushButton* cancel = alert->addButton(QMessageBox::Cancel);
    QPushButton* remove = alert->addButton(u"Delete Group"_qs, QMessageBox::DestructiveRole);
    alert->setDefaultButton(cancel);
    alert->setEscapeButton(cancel);
    connect(remove, &QPushButton::clicked, this, [this, group] { deleteGroupAndClose(group); });
    connect(alert, &QMessageBox::finished, this, [this, alert] {
        if (m_deleteAlert == alert)
            cancelDelete();
    });
    m_deleteAlert = alert;
    alert->show();
}

void GroupSheetPresenter::deleteGroupAndClose(const SelectionGroup& group)
{
    emit groupDeleting(group.id);
    m_store.deleteGroup(group.id);
    cancelDelete();
}

void GroupSheetPresenter::cancelDelete()
{
    m_groupPendingDeletion.reset();
    if (QMessageBox* alert = m_deleteAlert) {
        m_deleteAlert = nullptr;
        alert->hide();
        alert->deleteLater();
        emit closed();
    }
}
