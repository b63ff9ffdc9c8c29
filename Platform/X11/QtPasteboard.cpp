#include "Platform/X11/QtPasteboard.h"

#include "Platform/X11/SelectionTransfer.h"
#include "Platform/X11/XcbConnection.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

// An owner normally answers the list of its targets in milliseconds; an empty list that took
// this long is an owner that did not answer, not an empty clipboard.
constexpr std::chrono::milliseconds silentOwner {1000};

QClipboard* clipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

} // namespace

QtPasteboard::QtPasteboard(QObject* parent)
    : QObject(parent)
{
    if (QClipboard* board = clipboard()) {
        connect(board, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard)
                ++m_changeCount;
        });
    }
}

QtPasteboard::~QtPasteboard() = default;

template <typename Fn> auto QtPasteboard::onGuiThread(Fn fn, QDeadlineTimer deadline) -> std::optional<decltype(fn())>
{
    using Result = decltype(fn());
    if (QThread::currentThread() == thread())
        return fn();

    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Result> result;
        bool abandoned = false;
    };
    auto shared = std::make_shared<Shared>();
    const bool posted = QMetaObject::invokeMethod(
        this,
        [shared, fn = std::move(fn)]() mutable {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->abandoned)
                    return;
            }
            Result result = fn();
            std::lock_guard lock(shared->mutex);
            shared->result = std::move(result);
            shared->done.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted)
        return std::nullopt;

    std::unique_lock lock(shared->mutex);
    const auto arrived = [&] { return shared->result.has_value(); };
    if (deadline.isForever())
        shared->done.wait(lock, arrived);
    else
        shared->done.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(), arrived);
    if (!shared->result)
        shared->abandoned = true;
    return std::move(shared->result);
}

QStringList QtPasteboard::offeredTypes(const QStringList& formats)
{
    static const QStringList hidden = {QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"),
        QStringLiteral("TIMESTAMP"), QStringLiteral("SAVE_TARGETS"), QStringLiteral("application/x-qt-image")};
    QStringList types;
    for (const QString& format : formats) {
        if (format.isEmpty() || hidden.contains(format) || types.contains(format))
            continue;
        types.append(format);
    }
    return types;
}

std::optional<QList<QStringList>> QtPasteboard::itemTypes(QDeadlineTimer deadline)
{
    auto answer = onGuiThread(
        []() -> std::optional<QList<QStringList>> {
            QClipboard* board = clipboard();
            if (!board)
                return std::nullopt;
            QElapsedTimer timer;
            timer.start();
            const QMimeData* mime = board->mimeData(QClipboard::Clipboard);
            const QStringList types = mime ? offeredTypes(mime->formats()) : QStringList {};
            if (types.isEmpty() && timer.elapsed() >= silentOwner.count())
                return std::nullopt;
            return types.isEmpty() ? QList<QStringList> {} : QList<QStringList> {types};
        },
        deadline);
    if (!answer)
        return std::nullopt;
    return *answer;
}

Pasteboard::Read QtPasteboard::itemData(qsizetype item, const QString& type, QDeadlineTimer deadline)
{
    if (item != 0)
        return {};
    auto answer = onGuiThread(
        [type, deadline]() -> Read {
            QClipboard* board = clipboard();
            const QMimeData* mime = board ? board->mimeData(QClipboard::Clipboard) : nullptr;
            if (!mime)
                return {};
            QByteArray data = mime->data(type);
            if (!data.isEmpty())
                return {ReadStatus::ok, std::move(data)};
            // QMimeData gives empty bytes both for a refusal and for an owner that never
            // answered; only the clock tells them apart.
            return {deadline.hasExpired() ? ReadStatus::timedOut : ReadStatus::missing, {}};
        },
        deadline);
    if (!answer)
        return {ReadStatus::timedOut, {}};
    return *answer;
}

bool QtPasteboard::clearContents()
{
    return onGuiThread(
        [this] {
            m_declared.clear();
            m_pending.clear();
            QClipboard* board = clipboard();
            if (!board)
                return false;
            board->clear(QClipboard::Clipboard);
            return true;
        },
        QDeadlineTimer(writeTimeout))
        .value_or(false);
}

bool QtPasteboard::writeItems(const QList<ItemData>& items)
{
    // The X11 clipboard holds a single item.
    if (items.size() > 1)
        return false;
    if (items.isEmpty())
        return clearContents();
    return onGuiThread(
        [this, item = items.first()] {
            m_declared.clear();
            m_pending = item;
            return publish();
        },
        QDeadlineTimer(writeTimeout))
        .value_or(false);
}

void QtPasteboard::declareTypes(const QStringList& types)
{
    onGuiThread(
        [this, types] {
            m_pending.clear();
            m_declared = types;
            if (QClipboard* board = clipboard())
                board->clear(QClipboard::Clipboard);
            return true;
        },
        QDeadlineTimer(writeTimeout));
}

bool QtPasteboard::setData(const QByteArray& data, const QString& type)
{
    return onGuiThread(
        [this, data, type] {
            QClipboard* board = clipboard();
            if (!board)
                return false;
            // Another program took the clipboard since our last write: start afresh.
            if (!m_pending.isEmpty() && !board->ownsClipboard()) {
                m_pending.clear();
                m_declared.clear();
            }
            bool replaced = false;
            for (auto& [pendingType, bytes] : m_pending) {
                if (pendingType == type) {
                    bytes = data;
                    replaced = true;
                }
            }
            if (!replaced)
                m_pending.append({type, data});
            return publish();
        },
        QDeadlineTimer(writeTimeout))
        .value_or(false);
}

bool QtPasteboard::publish()
{
    QClipboard* board = clipboard();
    if (!board)
        return false;
    auto* mime = new QMimeData;
    auto add = [&](const QString& type) {
        for (const auto& [pendingType, bytes] : m_pending) {
            if (pendingType == type && !mime->hasFormat(type))
                mime->setData(type, bytes);
        }
    };
    for (const QString& type : m_declared)
        add(type);
    for (const auto& entry : m_pending)
        add(entry.first);
    board->setMimeData(mime, QClipboard::Clipboard);
    return board->mimeData(QClipboard::Clipboard) == mime;
}

SelectionTransfer::Reader* QtPasteboard::reader()
{
    if (!m_readerTried) {
        m_readerTried = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            m_reader = std::make_unique<SelectionTransfer::Reader>();
    }
    return m_reader.get();
}

std::optional<QList<QStringList>> QtPasteboard::exactItemTypes(QDeadlineTimer deadline)
{
    std::unique_lock lock(m_readerLock);
    SelectionTransfer::Reader* x = reader();
    if (!x) {
        lock.unlock();
        return itemTypes(deadline);
    }
    const auto targets = x->targets(x->atom("CLIPBOARD"), deadline);
    if (!targets)
        return std::nullopt;
    QStringList types;
    for (const QString& target : *targets) {
        if (!SelectionTransfer::isMetaTarget(target))
            types.append(target);
    }
    return types.isEmpty() ? QList<QStringList> {} : QList<QStringList> {types};
}

Pasteboard::Read QtPasteboard::exactItemData(qsizetype item, const QString& type, QDeadlineTimer deadline)
{
    std::unique_lock lock(m_readerLock);
    SelectionTransfer::Reader* x = reader();
    if (!x) {
        lock.unlock();
        return itemData(item, type, deadline);
    }
    if (item != 0)
        return {};
    auto data = x->read(x->atom("CLIPBOARD"), type, deadline);
    if (!data)
        return {deadline.hasExpired() ? ReadStatus::timedOut : ReadStatus::missing, {}, {}};
    const QString key = SelectionTransfer::typeKey(*data);
    return {ReadStatus::ok, std::move(data->bytes), key == type ? QString() : key};
}

bool QtPasteboard::writeExactItems(const QList<ItemData>& items)
{
    {
        std::lock_guard lock(m_readerLock);
        if (!reader())
            return writeItems(items);
    }
    if (items.isEmpty())
        return clearContents();
    if (items.size() > 1)
        return false;
    QList<SelectionTransfer::Data> targets;
    for (const auto& [key, bytes] : items.first()) {
        auto data = SelectionTransfer::fromTypeKey(key, bytes);
        if (!data)
            return false;
        targets.append(std::move(*data));
    }
    return SelectionTransfer::Keeper::instance().own(
        QStringLiteral("CLIPBOARD"), targets, QDeadlineTimer(writeTimeout));
}

qint32 QtPasteboard::ownerProcess()
{
    std::lock_guard lock(m_readerLock);
    if (!reader())
        return 0;
    if (!m_owners)
        m_owners = XcbConnection::open();
    if (!m_owners)
        return 0;
    xcb_connection_t* c = m_owners->connection();
    auto* reply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_owners->atom("CLIPBOARD")), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(reply);
    return owner == XCB_WINDOW_NONE ? 0 : m_owners->processOf(owner);
}
