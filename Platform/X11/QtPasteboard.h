#pragma once
// The desktop's CLIPBOARD selection through QClipboard. It holds one item, or none when no program
// owns the clipboard; its types are the owner's formats without the X11 pseudo-targets.
//
// The exact operations (snapshot and restore) bypass Qt's format mapping: they read the owner's
// own X targets with their bytes, property types and formats, and the restore owns the
// CLIPBOARD through a thread of its own that serves exactly those targets again.
//
// QClipboard may only be used on the GUI thread. Calls from other threads are posted to it and
// wait at most until their deadline; a call whose caller gave up is skipped when its turn comes.
// The GUI thread itself never waits for a worker; a read made on the GUI thread waits as long as
// QClipboard does for a slow owner. Create the object on the GUI thread.

#include "Platform/Pasteboard.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <mutex>

class XcbConnection;

namespace SelectionTransfer {
class Reader;
}

class QtPasteboard final : public QObject, public Pasteboard
{
    Q_OBJECT
public:
    // Writes made from another thread wait this long for the GUI thread.
    static constexpr std::chrono::milliseconds writeTimeout {5000};

    explicit QtPasteboard(QObject* parent = nullptr);
    ~QtPasteboard() override;

    qint64 changeCount() override { return m_changeCount.load(); }
    std::optional<QList<QStringList>> itemTypes(QDeadlineTimer deadline) override;
    Read itemData(qsizetype item, const QString& type, QDeadlineTimer deadline) override;
    bool clearContents() override;
    bool writeItems(const QList<ItemData>& items) override;
    void declareTypes(const QStringList& types) override;
    bool setData(const QByteArray& data, const QString& type) override;
    std::optional<QList<QStringList>> exactItemTypes(QDeadlineTimer deadline) override;
    Read exactItemData(qsizetype item, const QString& type, QDeadlineTimer deadline) override;
    bool writeExactItems(const QList<ItemData>& items) override;
    qint32 ownerProcess() override;

    // The owner's formats less X11's own targets and Qt's internal image alias.
    static QStringList offeredTypes(const QStringList& formats);

private:
    template <typename Fn> auto onGuiThread(Fn fn, QDeadlineTimer deadline) -> std::optional<decltype(fn())>;
    bool publish();
    // The reader of exact data, opened on first use; null without an X server.
    SelectionTransfer::Reader* reader();

    std::atomic<qint64> m_changeCount {0};
    // The item being written, GUI thread only: declared order, then the data set so far.
    QStringList m_declared;
    ItemData m_pending;
    std::mutex m_readerLock;
    std::unique_ptr<SelectionTransfer::Reader> m_reader;
    std::shared_ptr<XcbConnection> m_owners; // tells the clipboard's owner, opened on first use
    bool m_readerTried = false;
};
