#pragma once
// The desktop's CLIPBOARD selection through QClipboard. It holds one item, or none when no program
// owns the clipboard; its types are the owner's formats without the X11 pseudo-targets.
//
// QClipboard may only be used on the GUI thread. Calls from other threads are posted to it and
// wait at most until their deadline; a call whose caller gave up is skipped when its turn comes.
// The GUI thread itself never waits for a worker; a read made on the GUI thread waits as long as
// QClipboard does for a slow owner. Create the object on the GUI thread.

#include "Platform/Pasteboard.h"

#include <QObject>
#include <atomic>

class QtPasteboard final : public QObject, public Pasteboard
{
    Q_OBJECT
public:
    // Writes made from another thread wait this long for the GUI thread.
    static constexpr int writeTimeoutMs = 5000;

    explicit QtPasteboard(QObject* parent = nullptr);

    qint64 changeCount() override { return m_changeCount.load(); }
    std::optional<QList<QStringList>> itemTypes(QDeadlineTimer deadline) override;
    Read itemData(qsizetype item, const QString& type, QDeadlineTimer deadline) override;
    bool clearContents() override;
    bool writeItems(const QList<ItemData>& items) override;
    void declareTypes(const QStringList& types) override;
    bool setData(const QByteArray& data, const QString& type) override;

    // The owner's formats less X11's own targets and Qt's internal image alias.
    static QStringList offeredTypes(const QStringList& formats);

private:
    template <typename Fn> auto onGuiThread(Fn fn, QDeadlineTimer deadline) -> std::optional<decltype(fn())>;
    bool publish();

    std::atomic<qint64> m_changeCount {0};
    // The item being written, GUI thread only: declared order, then the data set so far.
    QStringList m_declared;
    ItemData m_pending;
};
