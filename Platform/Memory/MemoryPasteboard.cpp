#include "Platform/Memory/MemoryPasteboard.h"

std::optional<QList<QStringList>> MemoryPasteboard::itemTypes(QDeadlineTimer)
{
    if (m_noItemList)
        return std::nullopt;
    QList<QStringList> result;
    for (const auto& item : m_items) {
        QStringList types;
        for (const Entry& entry : item)
            types.append(entry.type);
        result.append(types);
    }
    return result;
}

Pasteboard::Read MemoryPasteboard::itemData(qsizetype item, const QString& type, QDeadlineTimer)
{
    m_dataReads.append(type);
    if (item < 0 || item >= m_items.size())
        return {};
    if (m_silent.contains(type))
        return {ReadStatus::timedOut, {}};
    for (const Entry& entry : m_items[item]) {
        if (entry.type == type) {
            if (!entry.data)
                return {};
            return {ReadStatus::ok, *entry.data};
        }
    }
    return {};
}

bool MemoryPasteboard::clearContents()
{
    if (m_failWrites)
        return false;
    m_items.clear();
    ++m_changeCount;
    return true;
}

bool MemoryPasteboard::writeItems(const QList<ItemData>& items)
{
    if (m_failWrites)
        return false;
    setItems(items);
    ++m_changeCount;
    return true;
}

void MemoryPasteboard::declareTypes(const QStringList& types)
{
    if (m_failWrites)
        return;
    QList<Entry> item;
    for (const QString& type : types)
        item.append({type, std::nullopt});
    m_items = {item};
    ++m_changeCount;
}

bool MemoryPasteboard::setData(const QByteArray& data, const QString& type)
{
    if (m_failWrites)
        return false;
    if (m_items.isEmpty())
        m_items.append(QList<Entry> {});
    auto& item = m_items.first();
    bool found = false;
    for (Entry& entry : item) {
        if (entry.type == type) {
            entry.data = data;
            found = true;
            break;
        }
    }
    if (!found)
        item.append({type, data});
    ++m_changeCount;
    return true;
}

QList<Pasteboard::ItemData> MemoryPasteboard::items() const
{
    QList<ItemData> result;
    for (const auto& item : m_items) {
        ItemData data;
        for (const Entry& entry : item) {
            if (entry.data)
                data.append({entry.type, *entry.data});
        }
        result.append(data);
    }
    return result;
}

void MemoryPasteboard::replaceContent(const QList<ItemData>& items)
{
    setItems(items);
    ++m_changeCount;
}

void MemoryPasteboard::offerWithoutData(qsizetype item, const QString& type)
{
    while (m_items.size() <= item)
        m_items.append(QList<Entry> {});
    for (Entry& entry : m_items[item]) {
        if (entry.type == type) {
            entry.data = std::nullopt;
            return;
        }
    }
    m_items[item].append({type, std::nullopt});
}

void MemoryPasteboard::setItems(const QList<ItemData>& items)
{
    m_items.clear();
    for (const ItemData& data : items) {
        QList<Entry> item;
        for (const auto& [type, bytes] : data)
            item.append({type, bytes});
        m_items.append(item);
    }
}
