#include "ZubraCore/Models/SidebarModel.h"

#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/RowRuns.h"

#include <algorithm>
#include <vector>

namespace {

const QString& sectionTitle(SidebarModel::Section section)
{
    static const QString titles[] {u"Prompt"_qs, u"Library"_qs, u"Groups"_qs, u"Sources"_qs};
    return titles[int(section)];
}

// Sections are top-level rows with internal id 0; an item's internal id is its section's row + 1.
constexpr quintptr sectionTag = 0;

} // namespace

SidebarModel::SidebarModel(Store* store, QObject* parent)
    : QAbstractItemModel(parent)
    , m_store(store)
{
    const auto drafts = [this] { update(Section::prompt); };
    connect(store, &Store::draftInserted, this, drafts);
    connect(store, &Store::draftRemoved, this, drafts);
    connect(store, &Store::draftChanged, this, drafts);
    connect(store, &Store::activeDraftIDChanged, this, drafts);
    const auto groups = [this] { update(Section::groups); };
    connect(store, &Store::groupsInserted, this, groups);
    connect(store, &Store::groupsRemoved, this, groups);
    connect(store, &Store::groupRenamed, this, groups);
    const auto selections = [this](const QList<QUuid>& ids) {
        update(Section::library);
        update(Section::groups);
        updateSources(ids);
    };
    connect(store, &Store::selectionsInserted, this, selections);
    connect(store, &Store::selectionsRemoved, this, selections);
    connect(store, &Store::selectionsEdited, this, selections);
    for (Section section : {Section::prompt, Section::library, Section::groups, Section::sources})
        update(section);
}

QList<SidebarModel::Item> SidebarModel::promptItems() const
{
    QList<Item> items;
    const std::optional<ContextDraft> active = m_store->activeDraft();
    if (active)
        items.append(Item {ItemKind::activePrompt, active->id, {}, u"Prompt"_qs, {}, active->includedCount(), {}, {},
            {}, {}, 0, {}, -1});
    for (const ContextDraft& draft : m_store->drafts()) {
        if (m_store->activeDraftID() == draft.id)
            continue;
        items.append(Item {ItemKind::draft, draft.id, {}, draft.name, {}, draft.includedCount(), {}, {}, {}, {}, 0, {}, -1});
    }
    return items;
}

QList<SidebarModel::Item> SidebarModel::libraryItems() const
{
    return {Item {ItemKind::allSelections, {}, {}, u"All Selections"_qs, {}, m_store->selections().size(), {}, {}, {},
        {}, 0, {}, -1}};
}

QList<SidebarModel::Item> SidebarModel::groupItems() const
{
    QList<Item> items;
    for (const SelectionGroup& group : m_store->groups()) {
        items.append(Item {ItemKind::group, group.id, {}, group.name, {}, m_store->index().groupCount(group.id),
            group.colorHex, {}, {}, {}, 0, {}, -1});
    }
    return items;
}

namespace {

// The order of source rows: by the source text, localized and ignoring case; texts that compare
// equal in the order in which their sources first appear in the library (newest first).
template <typename Row> bool sourceBefore(const Row& a, const Row& b)
{
    const int c = a.collationKey.compare(b.collationKey);
    return c != 0 ? c < 0 : a.newest > b.newest;
}

} // namespace

SidebarModel::Item SidebarModel::sourceItem(int source) const
{
    const StoreIndex& index = m_store->index();
    const StoreIndex::Source& state = index.source(source);
    const Selection& s = m_store->selections()[index.position(state.newest)];
    return Item {ItemKind::source, {}, state.key, s.appName, state.key, state.count, {}, s.bundleID.value_or(s.appName),
        s.appName, s.bundleID.value_or(QString()), state.newest,
        index.name(index.record(state.newest).sourceName).collationKey, source};
}

// In the order of StoreAggregation::sources.
QList<SidebarModel::Item> SidebarModel::sourceItems() const
{
    QList<Item> items;
    for (int source = 0; source < m_store->index().sourceCount(); ++source) {
        if (m_store->index().source(source).count > 0)
            items.append(sourceItem(source));
    }
    std::sort(items.begin(), items.end(), sourceBefore<Item>);
    return items;
}

// One look at each row's count and newest selection finds what went or changed; the changed
// ids name the sources that may be new. A row moves only when its newest selection changed its
// place among sources of the same text.
void SidebarModel::updateSources(const QList<QUuid>& ids)
{
    const StoreIndex& library = m_store->index();
    QList<Item>& items = m_items[int(Section::sources)];
    const QModelIndex parent = sectionIndex(Section::sources);
    // Which rows went, and in how many separate runs: many runs leave as one layout change.
    std::vector<char> goneRows(size_t(items.size()));
    int goneRuns = 0;
    for (int row = 0; row < int(items.size()); ++row) {
        goneRows[size_t(row)] = library.source(items[row].source).count == 0;
        if (goneRows[size_t(row)] && (row == 0 || !goneRows[size_t(row - 1)]))
            ++goneRuns;
    }
    if (goneRuns > RowRuns::maxSignalled) {
        dropGoneSources();
    } else if (goneRuns > 0) {
        for (int row = int(items.size()) - 1; row >= 0; --row) {
            if (!goneRows[size_t(row)])
                continue;
            int first = row;
            while (first > 0 && goneRows[size_t(first - 1)])
                --first;
            beginRemoveRows(parent, first, row);
            for (int i = first; i <= row; ++i)
                m_sourceRows.remove(items[i].source);
            items.remove(first, row - first + 1);
            endRemoveRows();
            row = first;
        }
    }

    const auto insertionRow = [&items](const Item& item) {
        return int(std::upper_bound(items.cbegin(), items.cend(), item, sourceBefore<Item>) - items.cbegin());
    };
    for (int row = 0; row < int(items.size()); ++row) {
        const StoreIndex::Source& state = library.source(items[row].source);
        if (state.count == items[row].count && state.newest == items[row].newest)
            continue;
        Item next = sourceItem(items[row].source);
        const bool inPlace = (row == 0 || sourceBefore(items[row - 1], next))
            && (row + 1 == int(items.size()) || sourceBefore(next, items[row + 1]));
        if (inPlace) {
            items[row] = next;
            emit dataChanged(index(row, 0, parent), index(row, 0, parent));
            continue;
        }
        const Item moving = items.takeAt(row);
        const int to = insertionRow(next);
        items.insert(row, moving);
        beginMoveRows(parent, row, row, parent, to > row ? to + 1 : to);
        items.removeAt(row);
        items.insert(to, next);
        endMoveRows();
        emit dataChanged(index(to, 0, parent), index(to, 0, parent));
        row = -1; // rows shifted: look again from the top (a move is rare)
    }

    for (const QUuid& id : ids) {
        const StoreIndex::Key key = library.keyOf(id);
        if (key == 0 || m_sourceRows.contains(library.record(key).source))
            continue;
        const Item item = sourceItem(library.record(key).source);
        const int row = insertionRow(item);
        beginInsertRows(parent, row, row);
        items.insert(row, item);
        m_sourceRows.insert(item.source);
        endInsertRows();
    }
    Q_ASSERT(items == sourceItems());
}

// Many separate source rows went (a delete across many sources): one layout change, one pass.
void SidebarModel::dropGoneSources()
{
    const StoreIndex& library = m_store->index();
    QList<Item>& items = m_items[int(Section::sources)];
    const QModelIndex parent = sectionIndex(Section::sources);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parent)}, QAbstractItemModel::NoLayoutChangeHint);
    std::vector<int> rowAfter(size_t(items.size()), -1);
    int kept = 0;
    for (int row = 0; row < int(items.size()); ++row) {
        if (library.source(items[row].source).count == 0)
            m_sourceRows.remove(items[row].source);
        else
            rowAfter[size_t(row)] = kept++;
    }
    QModelIndexList from;
    QModelIndexList to;
    for (const QModelIndex& index : persistentIndexList()) {
        if (index.internalId() != quintptr(int(Section::sources) + 1))
            continue;
        const int row = rowAfter[size_t(index.row())];
        from.append(index);
        to.append(row < 0 ? QModelIndex() : createIndex(row, index.column(), index.internalId()));
    }
    items.removeIf([&library](const Item& item) { return library.source(item.source).count == 0; });
    changePersistentIndexList(from, to);
    emit layoutChanged({QPersistentModelIndex(parent)}, QAbstractItemModel::NoLayoutChangeHint);
}

void SidebarModel::update(Section section)
{
    switch (section) {
    case Section::prompt:
        return apply(section, promptItems());
    case Section::library:
        return apply(section, libraryItems());
    case Section::groups:
        return apply(section, groupItems());
    case Section::sources:
        apply(section, sourceItems());
        m_sourceRows.clear();
        for (const Item& item : std::as_const(m_items[int(section)]))
            m_sourceRows.insert(item.source);
        return;
    }
}

// Removes the rows that went, inserts the rows that came and reports changed data; when rows
// that stay changed order, one layout change instead.
void SidebarModel::apply(Section section, QList<Item> next)
{
    QList<Item>& items = m_items[int(section)];
    const QModelIndex parent = sectionIndex(section);
    const auto findIn = [](const QList<Item>& list, const Item& item) {
        return std::find_if(list.cbegin(), list.cend(), [&item](const Item& i) { return i.sameRow(item); })
            != list.cend();
    };
    // Lists are short except the sources; those are compared through their keys.
    QSet<QString> nextSources;
    QSet<QString> currentSources;
    const bool bySource = section == Section::sources;
    if (bySource) {
        for (const Item& item : std::as_const(next))
            nextSources.insert(item.sourceKey);
        for (const Item& item : std::as_const(items))
            currentSources.insert(item.sourceKey);
    }
    const auto inNext = [&](const Item& item) { return bySource ? nextSources.contains(item.sourceKey) : findIn(next, item); };
    const auto inCurrent
        = [&](const Item& item) { return bySource ? currentSources.contains(item.sourceKey) : findIn(items, item); };

    for (int row = int(items.size()) - 1; row >= 0; --row) {
        if (inNext(items[row]))
            continue;
        int first = row;
        while (first > 0 && !inNext(items[first - 1]))
            --first;
        beginRemoveRows(parent, first, row);
        items.remove(first, row - first + 1);
        endRemoveRows();
        row = first;
    }
    QList<Item> staying;
    for (const Item& item : std::as_const(next)) {
        if (inCurrent(item))
            staying.append(item);
    }
    bool sameOrder = staying.size() == items.size();
    for (qsizetype i = 0; sameOrder && i < items.size(); ++i)
        sameOrder = items[i].sameRow(staying[i]);
    if (!sameOrder) {
        emit layoutAboutToBeChanged({QPersistentModelIndex(parent)}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList from;
        QModelIndexList to;
        for (const QModelIndex& index : before) {
            if (index.parent() != parent)
                continue;
            const Item& item = items[index.row()];
            const auto at = std::find_if(staying.cbegin(), staying.cend(), [&item](const Item& i) { return i.sameRow(item); });
            from.append(index);
            to.append(createIndex(int(at - staying.cbegin()), 0, quintptr(int(section) + 1)));
        }
        items = staying;
        changePersistentIndexList(from, to);
        emit layoutChanged({QPersistentModelIndex(parent)}, QAbstractItemModel::VerticalSortHint);
    }
    for (int row = 0; row < int(next.size()); ++row) {
        if (row < items.size() && items[row].sameRow(next[row])) {
            if (!(items[row] == next[row])) {
                items[row] = next[row];
                emit dataChanged(index(row, 0, parent), index(row, 0, parent));
            }
            continue;
        }
        int last = row;
        while (last + 1 < int(next.size()) && !inCurrent(next[last + 1]))
            ++last;
        beginInsertRows(parent, row, last);
        for (int i = row; i <= last; ++i)
            items.insert(i, next[i]);
        endInsertRows();
        row = last;
    }
    Q_ASSERT(items == next);
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, sectionTag);
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex SidebarModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == sectionTag)
        return {};
    return createIndex(int(child.internalId() - 1), 0, sectionTag);
}

int SidebarModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return 4;
    if (parent.internalId() != sectionTag || parent.column() != 0)
        return 0;
    return int(m_items[parent.row()].size());
}

int SidebarModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (index.internalId() == sectionTag) {
        if (role == Qt::DisplayRole || role == TitleRole)
            return sectionTitle(Section(index.row()));
        if (role == KindRole)
            return QVariant::fromValue(ItemKind::section);
        return {};
    }
    const Item& item = m_items[index.internalId() - 1][index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case TitleRole:
        return item.title;
    case KindRole:
        return QVariant::fromValue(item.kind);
    case IdRole:
        return item.id.isNull() ? QVariant() : QVariant(item.id);
    case SubtitleRole:
        return item.subtitle;
    case CountRole:
        return item.count;
    case ColorHexRole:
        return item.kind == ItemKind::group ? QVariant(item.colorHex) : QVariant();
    case ColorRole:
        return item.kind == ItemKind::group
            ? QVariant(colorFromHexString(item.colorHex).value_or(fallbackGroupColor()))
            : QVariant();
    case IconKeyRole:
        return item.iconKey;
    case AppNameRole:
        return item.appName;
    case BundleIDRole:
        return item.bundleID;
    case SourceIdentifierRole:
        return item.sourceKey;
    default:
        return {};
    }
}

QHash<int, QByteArray> SidebarModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractItemModel::roleNames();
    const std::pair<int, const char*> ours[] {{KindRole, "kind"}, {IdRole, "id"}, {TitleRole, "title"},
        {SubtitleRole, "subtitle"}, {CountRole, "count"}, {ColorHexRole, "colorHex"}, {ColorRole, "color"},
        {IconKeyRole, "iconKey"}, {AppNameRole, "appName"}, {BundleIDRole, "bundleID"},
        {SourceIdentifierRole, "sourceIdentifier"}};
    for (const auto& [role, name] : ours)
        names.insert(role, name);
    return names;
}

std::optional<SidebarChoice> SidebarModel::choiceAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == sectionTag || index.model() != this)
        return std::nullopt;
    const Item& item = m_items[index.internalId() - 1][index.row()];
    switch (item.kind) {
    case ItemKind::allSelections:
        return SidebarChoice::all();
    case ItemKind::group:
        return SidebarChoice::group(item.id);
    case ItemKind::source:
        return SidebarChoice::source(item.sourceKey);
    default:
        return std::nullopt;
    }
}

QModelIndex SidebarModel::indexOf(Section section, const std::function<bool(const Item&)>& match) const
{
    const QList<Item>& items = m_items[int(section)];
    for (int row = 0; row < int(items.size()); ++row) {
        if (match(items[row]))
            return index(row, 0, sectionIndex(section));
    }
    return {};
}

QModelIndex SidebarModel::indexOfDraft(const QUuid& id) const
{
    return indexOf(Section::prompt, [&id](const Item& item) { return item.id == id; });
}

QModelIndex SidebarModel::indexOfGroup(const QUuid& id) const
{
    return indexOf(Section::groups, [&id](const Item& item) { return item.id == id; });
}

QModelIndex SidebarModel::indexOfSource(const QString& identifier) const
{
    return indexOf(Section::sources, [&identifier](const Item& item) { return item.sourceKey == identifier; });
}
