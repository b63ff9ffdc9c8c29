#pragma once
// The entries of one prompt draft in prompt order, each with the selection it shows resolved from
// the library. Edits go through the store: switching include, pin or verbatim, a note or an edited
// text (setData), reordering (moveRows) and removing (removeRows) each hand the changed draft to
// Store::updateDraft. Changes from elsewhere arrive as row inserts, removes, moves (a layout change)
// and dataChanged, found by entry id. A change of another draft or of the library list that this
// draft does not show emits nothing.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QAbstractListModel>
#include <QPointer>
#include <optional>

class Store;

class DraftEntriesModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        EntryIdRole = Qt::UserRole + 1, // QUuid
        SelectionIdRole, // QUuid
        IncludeRole, // bool, editable
        PinRole, // bool, editable
        VerbatimRole, // bool, editable
        NoteRole, // QString, editable; invalid QVariant when there is none (set one to remove it)
        CustomTextRole, // QString, editable; invalid QVariant when there is none
        HasSelectionRole, // bool: the selection is in the library
        HeadlineRole, // the selection's headline; also Qt::DisplayRole
        TextRole, // the selection's text
        AppNameRole,
        IconKeyRole, // bundle identifier, else app name
        SourceLabelRole,
        CreatedAtRole,
    };
    Q_ENUM(Role)

    explicit DraftEntriesModel(Store* store, QObject* parent = nullptr);

    // The draft shown; none shows no rows. Choosing another draft resets the model.
    std::optional<QUuid> draftID() const { return m_draftID; }
    void setDraftID(const std::optional<QUuid>& id);

    const ContextDraftEntry& entryAt(int row) const { return m_entries[row]; }
    // The selection an entry shows, none when it left the library.
    std::optional<Selection> selectionAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent,
        int destinationChild) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<ContextDraftEntry> storedEntries() const;
    void refresh();
    void selectionsTouched(const QList<QUuid>& ids);
    bool writeEntries(const QList<ContextDraftEntry>& entries);

    QPointer<Store> m_store;
    std::optional<QUuid> m_draftID;
    QList<ContextDraftEntry> m_entries;
};
