#include "ZubraCore/Models/DraftEntriesModel.h"

#include "ZubraCore/Library/Store.h"

#include <QSet>
#include <algorithm>

DraftEntriesModel::DraftEntriesModel(Store* store, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store)
{
    const auto draftTouched = [this](const QUuid& id) {
        if (m_draftID == id)
            refresh();
    };
    connect(store, &Store::draftChanged, this, draftTouched);
    connect(store, &Store::draftInserted, this, draftTouched);
    connect(store, &Store::draftRemoved, this, draftTouched);
    connect(store, &Store::selectionsInserted, this, [this](const QList<QUuid>& ids) { selectionsTouched(ids); });
    connect(store, &Store::selectionsRemoved, this, &DraftEntriesModel::selectionsTouched);
    connect(store, &Store::selectionsEdited, this, &DraftEntriesModel::selectionsTouched);
}

void DraftEntriesModel::setDraftID(const std::optional<QUuid>& id)
{
    if (id == m_draftID)
        return;
    beginResetModel();
    m_draftID = id;
    m_entries = storedEntries();
    endResetModel();
}

QList<ContextDraftEntry> DraftEntriesModel::storedEntries() const
{
    if (!m_draftID)
        return {};
    const std::optional<ContextDraft> draft = m_store->findDraft(*m_draftID);
    return draft ? draft->entries : QList<ContextDraftEntry>();
}

std::optional<Selection> DraftEntriesModel::selectionAt(int row) const
{
    return m_store->findByID(m_entries[row].selectionID);
}

// Brings the rows to the stored entries: removes, then a layout change when the entries that stay
// changed order, then inserts, then dataChanged for entries whose fields changed.
void DraftEntriesModel::refresh()
{
    const QList<ContextDraftEntry> next = storedEntries();
    if (next == m_entries)
        return;
    QSet<QUuid> nextIDs;
    for (const ContextDraftEntry& e : next)
        nextIDs.insert(e.id);
    for (int row = int(m_entries.size()) - 1; row >= 0; --row) {
        if (nextIDs.contains(m_entries[row].id))
            continue;
        beginRemoveRows({}, row, row);
        m_entries.remove(row);
        endRemoveRows();
    }
    QSet<QUuid> currentIDs;
    for (const ContextDraftEntry& e : std::as_const(m_entries))
        currentIDs.insert(e.id);
    QList<ContextDraftEntry> staying;
    for (const ContextDraftEntry& e : next) {
        if (currentIDs.contains(e.id))
            staying.append(e);
    }
    bool sameOrder = true;
    for (qsizetype i = 0; sameOrder && i < staying.size(); ++i)
        sameOrder = staying[i].id == m_entries[i].id;
    if (!sameOrder) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        for (const QModelIndex& index : before) {
            const QUuid id = m_entries[index.row()].id;
            int row = 0;
            while (staying[row].id != id)
                ++row;
            after.append(QAbstractListModel::index(row));
        }
        m_entries = staying;
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    for (int row = 0; row < int(next.size());) {
        if (row < m_entries.size() && m_entries[row].id == next[row].id) {
            if (!(m_entries[row] == next[row])) {
                m_entries[row] = next[row];
                emit dataChanged(index(row), index(row));
            }
            ++row;
            continue;
        }
        // The entries that stay are in order by now: a run of new ones goes in as one insertion,
        // so that views lay out once for a whole batch (an import adds thousands).
        int end = row + 1;
        while (end < int(next.size()) && !currentIDs.contains(next[end].id))
            ++end;
        beginInsertRows({}, row, end - 1);
        m_entries.insert(row, end - row, ContextDraftEntry());
        std::copy(next.cbegin() + row, next.cbegin() + end, m_entries.begin() + row);
        endInsertRows();
        row = end;
    }
}

void DraftEntriesModel::selectionsTouched(const QList<QUuid>& ids)
{
    if (m_entries.isEmpty())
        return;
    const QSet<QUuid> touched(ids.cbegin(), ids.cend());
    for (int row = 0; row < int(m_entries.size()); ++row) {
        if (touched.contains(m_entries[row].selectionID))
            emit dataChanged(index(row), index(row));
    }
}

bool DraftEntriesModel::writeEntries(const QList<ContextDraftEntry>& entries)
{
    if (!m_draftID || !m_store->canModifyLibrary())
        return false;
    std::optional<ContextDraft> draft = m_store->findDraft(*m_draftID);
    if (!draft)
        return false;
    draft->entries = entries;
    m_store->updateDraft(*draft); // comes back through draftChanged
    return true;
}

int DraftEntriesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant DraftEntriesModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ContextDraftEntry& e = m_entries[index.row()];
    const auto optionalText = [](const std::optional<QString>& text) { return text ? QVariant(*text) : QVariant(); };
    switch (role) {
    case EntryIdRole:
        return e.id;
    case SelectionIdRole:
        return e.selectionID;
    case IncludeRole:
        return e.include;
    case PinRole:
        return e.pin;
    case VerbatimRole:
        return e.verbatim;
    case NoteRole:
        return optionalText(e.note);
    case CustomTextRole:
        return optionalText(e.customText);
    default:
        break;
    }
    const qsizetype position = m_store->index().position(m_store->index().keyOf(e.selectionID));
    if (role == HasSelectionRole)
        return position >= 0;
    if (position < 0)
        return {};
    const Selection& s = m_store->selections()[position];
    switch (role) {
    case Qt::DisplayRole:
    case HeadlineRole:
        return s.headline();
    case TextRole:
        return s.text;
    case AppNameRole:
        return s.appName;
    case IconKeyRole:
        return s.bundleID.value_or(s.appName);
    case SourceLabelRole:
        return s.sourceLabel().value_or(QString());
    case CreatedAtRole:
        return s.createdAt;
    default:
        return {};
    }
}

bool DraftEntriesModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    QList<ContextDraftEntry> entries = m_entries;
    ContextDraftEntry& e = entries[index.row()];
    const auto optionalText
        = [&value]() { return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt; };
    switch (role) {
    case IncludeRole:
        e.include = value.toBool();
        break;
    case PinRole:
        e.pin = value.toBool();
        break;
    case VerbatimRole:
        e.verbatim = value.toBool();
        break;
    case NoteRole:
        e.note = optionalText();
        break;
    case CustomTextRole:
        e.customText = optionalText();
        break;
    default:
        return false;
    }
    return writeEntries(entries);
}

Qt::ItemFlags DraftEntriesModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags base = QAbstractListModel::flags(index);
    if (!index.isValid())
        return base | Qt::ItemIsDropEnabled;
    return base | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
}

bool DraftEntriesModel::moveRows(
    const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || count <= 0 || sourceRow < 0
        || sourceRow + count > int(m_entries.size()) || destinationChild < 0 || destinationChild > int(m_entries.size())
        || (destinationChild >= sourceRow && destinationChild <= sourceRow + count))
        return false;
    if (!m_draftID || !m_store->canModifyLibrary())
        return false;
    QList<ContextDraftEntry> entries = m_entries;
    const QList<ContextDraftEntry> moving = entries.mid(sourceRow, count);
    entries.remove(sourceRow, count);
    const int insertAt = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        entries.insert(insertAt + i, moving[i]);
    beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild);
    m_entries = entries;
    endMoveRows();
    return writeEntries(entries);
}

bool DraftEntriesModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > int(m_entries.size()))
        return false;
    QList<ContextDraftEntry> entries = m_entries;
    entries.remove(row, count);
    return writeEntries(entries);
}

QHash<int, QByteArray> DraftEntriesModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    const std::pair<int, const char*> ours[] {{EntryIdRole, "entryId"}, {SelectionIdRole, "selectionId"},
        {IncludeRole, "include"}, {PinRole, "pin"}, {VerbatimRole, "verbatim"}, {NoteRole, "note"},
        {CustomTextRole, "customText"}, {HasSelectionRole, "hasSelection"}, {HeadlineRole, "headline"},
        {TextRole, "text"}, {AppNameRole, "appName"}, {IconKeyRole, "iconKey"}, {SourceLabelRole, "sourceLabel"},
        {CreatedAtRole, "createdAt"}};
    for (const auto& [role, name] : ours)
        names.insert(role, name);
    return names;
}
