#pragma once
// The sidebar: four sections, each a top-level row with its items as children. "Prompt": the
// active draft's row, then the other drafts in store order. "Library": all selections. "Groups":
// the groups in creation order. "Sources": one row per source, in the store's source order. Items
// come and go with row inserts and removes, counts and names change with dataChanged, and a
// source that moves in the order is a layout change; a keystroke in a draft touches only the
// prompt rows, and a capture only the library count and its source.

#include "ZubraCore/Library/StoreIndex.h"
#include "ZubraCore/Models/SidebarChoice.h"

#include <QAbstractItemModel>
#include <QPointer>
#include <QSet>
#include <optional>

class Store;

class SidebarModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum class Section { prompt, library, groups, sources };
    Q_ENUM(Section)

    enum class ItemKind { section, activePrompt, draft, allSelections, group, source };
    Q_ENUM(ItemKind)

    enum Role {
        KindRole = Qt::UserRole + 1, // ItemKind
        IdRole, // QUuid of a draft or a group (the active draft's for the prompt row)
        TitleRole, // also Qt::DisplayRole: section title, draft or group name, "All Selections", app name
        SubtitleRole, // a source's address, else file path, else app name
        CountRole, // qsizetype badge: included entries, selections, members
        ColorHexRole, // a group's colour text
        ColorRole, // a group's QColor (teal when its text does not parse)
        IconKeyRole, // a source's bundle identifier, else its app name
        AppNameRole,
        BundleIDRole,
        SourceIdentifierRole, // a source's SourceIdentity::identifier
    };
    Q_ENUM(Role)

    explicit SidebarModel(Store* store, QObject* parent = nullptr);

    QModelIndex sectionIndex(Section section) const { return index(int(section), 0); }
    // What the library list shows for an item: the library, a group or a source; none otherwise.
    std::optional<SidebarChoice> choiceAt(const QModelIndex& index) const;
    // The item of a draft, a group or a source, invalid when not listed.
    QModelIndex indexOfDraft(const QUuid& id) const;
    QModelIndex indexOfGroup(const QUuid& id) const;
    QModelIndex indexOfSource(const QString& identifier) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    struct Item
    {
        ItemKind kind;
        QUuid id;
        QString sourceKey;
        QString title;
        QString subtitle;
        qsizetype count = 0;
        QString colorHex;
        QString iconKey;
        QString appName;
        QString bundleID;
        StoreIndex::Key newest = 0; // a source's newest selection
        QByteArray collationKey; // a source's sort key
        int source = -1; // a source's number in the store's index

        // What identifies the row across changes.
        bool sameRow(const Item& other) const
        {
            return kind == other.kind && id == other.id && sourceKey == other.sourceKey;
        }
        friend bool operator==(const Item&, const Item&) = default;
    };

    QList<Item> promptItems() const;
    QList<Item> libraryItems() const;
    QList<Item> groupItems() const;
    QList<Item> sourceItems() const;
    Item sourceItem(int source) const;
    // Brings the source rows up to date after selections with these ids came, went or changed.
    void updateSources(const QList<QUuid>& ids);
    void dropGoneSources();
    void update(Section section);
    void apply(Section section, QList<Item> next);
    QModelIndex indexOf(Section section, const std::function<bool(const Item&)>& match) const;

    QPointer<Store> m_store;
    QList<Item> m_items[4];
    QSet<int> m_sourceRows; // the sources that have a row
};
