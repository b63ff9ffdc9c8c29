#include "ZubraCore/Models/VisibleSelectionsModel.h"

#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/RowRuns.h"
#include "ZubraCore/Support/ParallelChunks.h"

#include <algorithm>

namespace {

QString optionalText(const std::optional<QString>& text)
{
    return text.value_or(QString());
}

} // namespace

VisibleSelectionsModel::VisibleSelectionsModel(Store* store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store)
{
    const auto editedKeys = [this](const QList<QUuid>& ids) {
        QSet<Key> keys;
        for (const QUuid& id : ids) {
            const Key key = storeIndex().keyOf(id);
            if (key == 0)
                continue;
            keys.insert(key);
            if (key < m_match.size())
                m_match[key] = 0; // its text may have changed
        }
        return keys;
    };
    connect(store, &Store::selectionsInserted, this, [this] { refresh(Change::storeEdit); });
    connect(store, &Store::selectionsRemoved, this, [this] { refresh(Change::storeEdit); });
    connect(store, &Store::selectionsEdited, this,
        [this, editedKeys](const QList<QUuid>& ids) { refresh(Change::storeEdit, editedKeys(ids)); });
    m_rows = computeRows();
}

const StoreIndex& VisibleSelectionsModel::storeIndex() const
{
    return m_store->index();
}

void VisibleSelectionsModel::setChoice(const SidebarChoice& choice)
{
    if (choice == m_choice)
        return;
    m_choice = choice;
    refresh(Change::filter);
}

void VisibleSelectionsModel::setSearchText(const QString& text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    const SelectionSearchIndex::Query query = SelectionSearchIndex::prepare(text.trimmed().toLower());
    if (query.text() == m_query.text())
        return;
    // A longer query that contains the previous one matches a subset: only earlier matches need a look.
    const bool narrows = !m_query.isEmpty() && query.text().contains(m_query.text());
    for (quint8& verdict : m_match) {
        if (!narrows || verdict == 2)
            verdict = 0;
    }
    m_query = query;
    refresh(Change::filter);
}

void VisibleSelectionsModel::setSortMode(SortMode mode)
{
    if (mode == m_sortMode)
        return;
    m_sortMode = mode;
    refresh(Change::order);
}

bool VisibleSelectionsModel::inChoice(Key key) const
{
    switch (m_choice.kind) {
    case SidebarChoice::Kind::allSelections:
        return true;
    case SidebarChoice::Kind::group:
        return storeIndex().record(key).groupIDs.contains(m_choice.groupID);
    case SidebarChoice::Kind::source:
        return storeIndex().record(key).sourceKey == m_choice.sourceIdentifier;
    }
    return false;
}

void VisibleSelectionsModel::evaluateSearch(const std::vector<Key>& candidates)
{
    const SelectionSearchIndex& search = storeIndex().search();
    const auto count = qsizetype(candidates.size());
    // Each thread writes the verdicts of its own keys only.
    ParallelChunks::run(count, ParallelChunks::chunkCount(count, 4096), [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            const Key key = candidates[size_t(i)];
            m_match[key] = search.matches(key, m_query) ? 2 : 1;
        }
    });
}

std::vector<VisibleSelectionsModel::Key> VisibleSelectionsModel::computeRows()
{
    std::vector<Key> rows;
    if (!m_query.isEmpty()) {
        m_match.resize(size_t(storeIndex().lastKey()) + 1, 0);
        std::vector<Key> unknown;
        storeIndex().forEachInOrder(m_sortMode, [&](Key key) {
            if (m_match[key] == 0 && inChoice(key))
                unknown.push_back(key);
        });
        evaluateSearch(unknown);
        storeIndex().forEachInOrder(m_sortMode, [&](Key key) {
            if (m_match[key] == 2 && inChoice(key))
                rows.push_back(key);
        });
    } else if (m_choice.kind == SidebarChoice::Kind::allSelections) {
        rows = storeIndex().order(m_sortMode);
    } else {
        storeIndex().forEachInOrder(m_sortMode, [&](Key key) {
            if (inChoice(key))
                rows.push_back(key);
        });
    }
    storeIndex().groupSpellings(m_sortMode, rows);
    return rows;
}

void VisibleSelectionsModel::refresh(Change change, const QSet<Key>& edited)
{
    std::vector<Key> next = computeRows();
    if (change == Change::order) {
        if (next != m_rows)
            relayout(std::move(next), QAbstractItemModel::VerticalSortHint);
        return;
    }

    // Bit 1: shown now; bit 2: shown after.
    std::vector<quint8> mark(size_t(storeIndex().lastKey()) + 1, 0);
    for (Key key : m_rows)
        mark[key] |= 1;
    for (Key key : next)
        mark[key] |= 2;

    // Runs of rows that go (in current rows) and that come (in the new rows).
    QList<std::pair<int, int>> going;
    QList<std::pair<int, int>> coming;
    const auto runs = [&mark](const std::vector<Key>& rows, quint8 alone, QList<std::pair<int, int>>& out) {
        for (int i = 0; i < int(rows.size()); ++i) {
            if (mark[rows[size_t(i)]] != alone)
                continue;
            if (!out.isEmpty() && out.last().second == i - 1)
                out.last().second = i;
            else
                out.append({i, i});
        }
    };
    runs(m_rows, 1, going);
    runs(next, 2, coming);

    // The rows that stay must keep their order, else it is a layout change.
    bool sameOrder = true;
    {
        size_t a = 0;
        size_t b = 0;
        while (sameOrder) {
            while (a < m_rows.size() && mark[m_rows[a]] != 3)
                ++a;
            while (b < next.size() && mark[next[b]] != 3)
                ++b;
            if (a == m_rows.size() || b == next.size()) {
                sameOrder = a == m_rows.size() && b == next.size();
                break;
            }
            sameOrder = m_rows[a++] == next[b++];
        }
    }

    if (!sameOrder || going.size() + coming.size() > RowRuns::maxSignalled) {
        relayout(std::move(next), QAbstractItemModel::NoLayoutChangeHint);
    } else {
        for (auto run = going.crbegin(); run != going.crend(); ++run) {
            beginRemoveRows({}, run->first, run->second);
            m_rows.erase(m_rows.begin() + run->first, m_rows.begin() + run->second + 1);
            endRemoveRows();
        }
        for (const auto& [first, last] : std::as_const(coming)) {
            beginInsertRows({}, first, last);
            m_rows.insert(m_rows.begin() + first, next.begin() + first, next.begin() + last + 1);
            endInsertRows();
        }
        Q_ASSERT(m_rows == next);
    }

    if (edited.isEmpty())
        return;
    for (int row = 0; row < int(m_rows.size()); ++row) {
        if (edited.contains(m_rows[size_t(row)]) && mark[m_rows[size_t(row)]] == 3)
            emit dataChanged(index(row), index(row));
    }
}

void VisibleSelectionsModel::relayout(std::vector<Key> rows, QAbstractItemModel::LayoutChangeHint hint)
{
    emit layoutAboutToBeChanged({}, hint);
    const QModelIndexList before = persistentIndexList();
    QList<Key> keysBefore;
    QHash<Key, int> rowAfter;
    for (const QModelIndex& index : before) {
        keysBefore.append(m_rows[size_t(index.row())]);
        rowAfter.insert(keysBefore.last(), -1);
    }
    if (!rowAfter.isEmpty()) {
        for (int row = 0; row < int(rows.size()); ++row) {
            const auto it = rowAfter.find(rows[size_t(row)]);
            if (it != rowAfter.end())
                *it = row;
        }
    }
    m_rows = std::move(rows);
    QModelIndexList after;
    after.reserve(before.size());
    for (Key key : std::as_const(keysBefore)) {
        const int row = rowAfter.value(key, -1);
        after.append(row < 0 ? QModelIndex() : index(row));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, hint);
}

const Selection& VisibleSelectionsModel::selectionAt(int row) const
{
    return m_store->selections()[storeIndex().position(m_rows[size_t(row)])];
}

QUuid VisibleSelectionsModel::idAt(int row) const
{
    return storeIndex().record(m_rows[size_t(row)]).id;
}

int VisibleSelectionsModel::rowOf(const QUuid& id) const
{
    const Key key = storeIndex().keyOf(id);
    if (key == 0)
        return -1;
    // The rows follow the mode's order except where differently spelled names were grouped.
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), key,
        [this](Key a, Key b) { return storeIndex().precedes(m_sortMode, a, b); });
    if (it != m_rows.end() && *it == key)
        return int(it - m_rows.begin());
    const auto found = std::find(m_rows.begin(), m_rows.end(), key);
    return found == m_rows.end() ? -1 : int(found - m_rows.begin());
}

int VisibleSelectionsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant VisibleSelectionsModel::data(const QModelIndex& modelIndex, int role) const
{
    if (!checkIndex(modelIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Selection& s = selectionAt(modelIndex.row());
    switch (role) {
    case Qt::DisplayRole:
    case HeadlineRole:
        return s.headline();
    case IdRole:
        return s.id;
    case TextRole:
        return s.text;
    case MarkdownRole:
        return s.markdown();
    case AppNameRole:
        return s.appName;
    case BundleIDRole:
        return optionalText(s.bundleID);
    case IconKeyRole:
        return s.bundleID.value_or(s.appName);
    case SourceLabelRole:
        return optionalText(s.sourceLabel());
    case SourceDetailRole:
        return optionalText(s.sourceDetail());
    case SourceURLRole:
        return optionalText(s.sourceURL);
    case FilePathRole:
        return optionalText(s.filePath);
    case SourceIdentifierRole:
        return SourceIdentity::keyOf(s);
    case CreatedAtRole:
        return s.createdAt;
    case GroupIDsRole:
        return QVariant::fromValue(s.groupIDs);
    default:
        return {};
    }
}

QHash<int, QByteArray> VisibleSelectionsModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    const std::pair<int, const char*> ours[] {{IdRole, "id"}, {HeadlineRole, "headline"}, {TextRole, "text"},
        {MarkdownRole, "markdown"}, {AppNameRole, "appName"}, {BundleIDRole, "bundleID"}, {IconKeyRole, "iconKey"},
        {SourceLabelRole, "sourceLabel"}, {SourceDetailRole, "sourceDetail"}, {SourceURLRole, "sourceURL"},
        {FilePathRole, "filePath"}, {SourceIdentifierRole, "sourceIdentifier"}, {CreatedAtRole, "createdAt"},
        {GroupIDsRole, "groupIDs"}};
    for (const auto& [role, name] : ours)
        names.insert(role, name);
    return names;
}
