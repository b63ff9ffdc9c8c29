#pragma once
// An in-memory pasteboard for tests: items with their data, a change count that moves on every
// write, and failures on demand (a type offered without data, an owner that never answers, a
// write that fails, no item list at all).

#include "Platform/Pasteboard.h"

#include <QSet>

class MemoryPasteboard final : public Pasteboard
{
public:
    MemoryPasteboard() = default;
    explicit MemoryPasteboard(const QList<ItemData>& items) { setItems(items); }

    qint64 changeCount() override { return m_changeCount; }
    std::optional<QList<QStringList>> itemTypes(QDeadlineTimer deadline) override;
    Read itemData(qsizetype item, const QString& type, QDeadlineTimer deadline) override;
    bool clearContents() override;
    bool writeItems(const QList<ItemData>& items) override;
    void declareTypes(const QStringList& types) override;
    bool setData(const QByteArray& data, const QString& type) override;
    qint32 ownerProcess() override { return owner; }

    // The process that owns the content, as the test says.
    qint32 owner = 0;

    // The content as it stands, declared types without data left out.
    QList<ItemData> items() const;
    // Simulates a change by another program: replaces the content and moves the count.
    void replaceContent(const QList<ItemData>& items);

    // Injected failures.
    void offerWithoutData(qsizetype item, const QString& type); // listed, but reads give nothing
    void neverAnswer(const QString& type) { m_silent.insert(type); }
    void failWrites(bool fail) { m_failWrites = fail; }
    void reportNoItemList(bool noList) { m_noItemList = noList; }

    // The types whose data was asked for, in order; lets tests prove what a reader tried.
    QStringList dataReads() const { return m_dataReads; }

private:
    struct Entry
    {
        QString type;
        std::optional<QByteArray> data; // no value: offered (or declared) without data
    };
    QList<QList<Entry>> m_items;
    qint64 m_changeCount = 0;
    QSet<QString> m_silent;
    bool m_failWrites = false;
    bool m_noItemList = false;
    QStringList m_dataReads;

    void setItems(const QList<ItemData>& items);
};
