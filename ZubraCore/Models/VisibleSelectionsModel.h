#pragma once
// The library list: the store's selections under the sidebar choice, the search text and the sort
// mode, one row per selection. A capture or a delete inserts or removes rows, an edit (a drop on a
// group) changes data or, when the selection enters or leaves the chosen group, inserts or removes
// it; a new sort mode is a layout change. A new search text or sidebar choice removes and inserts
// the rows that come and go. Rows that come and go in many separate runs (a search, a delete
// scattered over the list) make one layout change instead; the rows that stay keep their
// persistent indexes. Nothing here resets.

#include "ZubraCore/Library/SortMode.h"
#include "ZubraCore/Library/StoreIndex.h"
#include "ZubraCore/Models/SidebarChoice.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QSet>
#include <vector>

class Store;

class VisibleSelectionsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid
        HeadlineRole, // QString; also Qt::DisplayRole
        TextRole,
        MarkdownRole,
        AppNameRole,
        BundleIDRole, // QString, empty when none
        IconKeyRole, // the bundle identifier, else the app name
        SourceLabelRole, // title, else address, else file path; empty when none
        SourceDetailRole, // address, else file path; empty when none
        SourceURLRole,
        FilePathRole,
        SourceIdentifierRole,
        CreatedAtRole, // QDateTime (UTC)
        GroupIDsRole, // QList<QUuid>
    };
    Q_ENUM(Role)

    explicit VisibleSelectionsModel(Store* store, QObject* parent = nullptr);

    SidebarChoice choice() const { return m_choice; }
    void setChoice(const SidebarChoice& choice);
    // The search field's text as typed; trimmed and lower-cased here.
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    SortMode sortMode() const { return m_sortMode; }
    void setSortMode(SortMode mode);

    // The selection shown in a row (row must be valid).
    const Selection& selectionAt(int row) const;
    QUuid idAt(int row) const;
    // The row of a selection, -1 when it is not shown.
    int rowOf(const QUuid& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    using Key = StoreIndex::Key;
    enum class Change { storeEdit, filter, order };

    const StoreIndex& storeIndex() const;
    bool inChoice(Key key) const;
    // The rows as they should be now.
    std::vector<Key> computeRows();
    // Brings the rows to the computed ones with the finest signals that fit.
    void refresh(Change change, const QSet<Key>& edited = {});
    void relayout(std::vector<Key> rows, QAbstractItemModel::LayoutChangeHint hint);
    void evaluateSearch(const std::vector<Key>& candidates);

    QPointer<Store> m_store;
    SidebarChoice m_choice;
    QString m_searchText;
    SelectionSearchIndex::Query m_query;
    SortMode m_sortMode = SortMode::newestFirst;
    std::vector<Key> m_rows;
    // The search's verdict per key for the current query: 0 not known, 1 no, 2 yes.
    std::vector<quint8> m_match;
};
