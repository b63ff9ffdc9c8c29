#include "Platform/X11/SelectionTransfer.h"

#include "Platform/X11/XcbConnection.h"

#include <QHash>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {
using namespace Qt::StringLiterals;

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> reply(T* r)
{
    return Reply<T>(r, &std::free);
}

// Data up to this size goes in one property; larger data is handed out in chunks (INCR).
constexpr qsizetype incrementalAbove = 1024 * 1024;
constexpr qsizetype chunkBytes = 256 * 1024;
// A requestor that stops taking chunks is given up after this long.
constexpr std::chrono::seconds transferLimit {10};
constexpr std::chrono::milliseconds idleWake {1000};
constexpr int maxTargets = 512;

// Waits until the connection has something to read, at most until the deadline.
bool waitReadable(xcb_connection_t* c, QDeadlineTimer deadline, int extraFd = -1)
{
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {extraFd, POLLIN, 0}};
    const qint64 left = deadline.isForever() ? idleWake.count() : std::max<qint64>(0, deadline.remainingTime());
    return ::poll(fds, extraFd >= 0 ? 2 : 1, int(std::min<qint64>(left, idleWake.count()))) > 0;
}

QString atomName(xcb_connection_t* c, xcb_atom_t atom, QHash<xcb_atom_t, QString>& cache)
{
    if (atom == XCB_ATOM_NONE)
        return {};
    if (auto it = cache.constFind(atom); it != cache.constEnd())
        return *it;
    auto r = reply(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!r)
        return {};
    const QString name = QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
    cache.insert(atom, name);
    return name;
}

xcb_atom_t internAtom(xcb_connection_t* c, const QString& name)
{
    const QByteArray latin = name.toLatin1();
    auto r = reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(latin.size()), latin.constData()), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t createWindow(XcbConnection& x)
{
    xcb_connection_t* c = x.connection();
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, x.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, values);
    xcb_flush(c);
    return window;
}
} // namespace

namespace SelectionTransfer {

bool isMetaTarget(const QString& target)
{
    static const QStringList meta = {u"TARGETS"_s, u"TIMESTAMP"_s, u"MULTIPLE"_s, u"SAVE_TARGETS"_s, u"DELETE"_s,
        u"INSERT_SELECTION"_s, u"INSERT_PROPERTY"_s};
    return meta.contains(target);
}

QString typeKey(const Data& data)
{
    if (data.type == data.target && data.format == 8)
        return data.target;
    return data.target + u'\n' + data.type + u'\n' + QString::number(data.format);
}

std::optional<Data> fromTypeKey(const QString& key, const QByteArray& bytes)
{
    const QStringList parts = key.split(u'\n');
    Data data;
    data.bytes = bytes;
    if (parts.size() == 1) {
        data.target = data.type = key;
    } else if (parts.size() == 3) {
        data.target = parts[0];
        data.type = parts[1];
        bool ok = false;
        const uint format = parts[2].toUInt(&ok);
        if (!ok || (format != 8 && format != 16 && format != 32))
            return std::nullopt;
        data.format = quint8(format);
    } else {
        return std::nullopt;
    }
    if (data.target.isEmpty() || data.type.isEmpty() || bytes.size() % (data.format / 8) != 0)
        return std::nullopt;
    return data;
}

// ---- Reader ----

Reader::Reader()
    : m_x(XcbConnection::open())
{
    if (!m_x)
        return;
    m_window = createWindow(*m_x);
    m_property = m_x->atom("TESSELLON_SELECTION");
}

Reader::~Reader()
{
    if (m_x && m_window != XCB_WINDOW_NONE) {
        xcb_destroy_window(m_x->connection(), m_window);
        xcb_flush(m_x->connection());
    }
}

xcb_atom_t Reader::atom(const char* name)
{
    return m_x ? m_x->atom(name) : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_generic_event_t* Reader::waitFor(uint8_t responseType, QDeadlineTimer deadline)
{
    xcb_connection_t* c = m_x->connection();
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == responseType) {
                if (type == XCB_SELECTION_NOTIFY
                    && reinterpret_cast<xcb_selection_notify_event_t*>(event)->requestor == m_window)
                    return event;
                if (type == XCB_PROPERTY_NOTIFY) {
                    auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                    if (notify->window == m_window && notify->atom == m_property
                        && notify->state == XCB_PROPERTY_NEW_VALUE)
                        return event;
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c) || deadline.hasExpired())
            return nullptr;
        waitReadable(c, deadline);
    }
}

bool Reader::request(xcb_atom_t selection, xcb_atom_t target, QDeadlineTimer deadline, bool& refused)
{
    xcb_connection_t* c = m_x->connection();
    // Leftovers of an earlier transfer must not be taken for this one's.
    while (xcb_generic_event_t* stale = xcb_poll_for_event(c))
        std::free(stale);
    xcb_delete_property(c, m_window, m_property);
    xcb_convert_selection(c, m_window, selection, target, m_property, XCB_CURRENT_TIME);
    xcb_flush(c);
    xcb_generic_event_t* event = waitFor(XCB_SELECTION_NOTIFY, deadline);
    if (!event)
        return false;
    refused = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property == XCB_ATOM_NONE;
    std::free(event);
    return true;
}

std::optional<QByteArray> Reader::incremental(
    xcb_atom_t& type, quint8& format, QDeadlineTimer deadline, qsizetype maxBytes)
{
    xcb_connection_t* c = m_x->connection();
    // Deleting the INCR property asks the owner for the first chunk.
    xcb_delete_property(c, m_window, m_property);
    xcb_flush(c);
    QByteArray all;
    for (;;) {
        xcb_generic_event_t* event = waitFor(XCB_PROPERTY_NOTIFY, deadline);
        if (!event)
            return std::nullopt;
        std::free(event);
        const uint32_t longs = uint32_t(std::min<qsizetype>(maxBytes / 4 + 1, 0x3fffffff));
        auto r = reply(
            xcb_get_property_reply(c, xcb_get_property(c, 1, m_window, m_property, XCB_ATOM_ANY, 0, longs), nullptr));
        if (!r)
            return std::nullopt;
        if (r->type == XCB_ATOM_NONE)
            continue; // a notice about a property already gone
        if (r->bytes_after > 0)
            return std::nullopt; // one chunk over the cap
        const int total = xcb_get_property_value_length(r.get());
        type = r->type;
        format = r->format;
        if (total == 0)
            return all;
        if (all.size() + total > maxBytes)
            return std::nullopt;
        all.append(static_cast<const char*>(xcb_get_property_value(r.get())), total);
    }
}

std::optional<Data> Reader::read(
    xcb_atom_t selection, const QString& target, QDeadlineTimer deadline, qsizetype maxBytes)
{
    if (!m_x || m_window == XCB_WINDOW_NONE || target.isEmpty())
        return std::nullopt;
    xcb_connection_t* c = m_x->connection();
    const xcb_atom_t targetAtom = internAtom(c, target);
    bool refused = false;
    if (targetAtom == XCB_ATOM_NONE || !request(selection, targetAtom, deadline, refused) || refused)
        return std::nullopt;
    const uint32_t longs = uint32_t(std::min<qsizetype>(maxBytes / 4 + 1, UINT32_MAX / 4));
    auto r = reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, m_window, m_property, XCB_ATOM_ANY, 0, longs), nullptr));
    if (!r || r->type == XCB_ATOM_NONE)
        return std::nullopt;
    Data data;
    data.target = target;
    if (r->type == m_x->atom("INCR")) {
        xcb_atom_t type = XCB_ATOM_NONE;
        quint8 format = 8;
        auto bytes = incremental(type, format, deadline, maxBytes);
        if (!bytes)
            return std::nullopt;
        data.type = atomName(c, type, m_names);
        data.format = format;
        data.bytes = std::move(*bytes);
    } else {
        if (r->bytes_after > 0) {
            xcb_delete_property(c, m_window, m_property);
            xcb_flush(c);
            return std::nullopt; // over the cap
        }
        data.type = atomName(c, r->type, m_names);
        data.format = r->format;
        data.bytes = QByteArray(
            static_cast<const char*>(xcb_get_property_value(r.get())), xcb_get_property_value_length(r.get()));
        xcb_delete_property(c, m_window, m_property);
        xcb_flush(c);
    }
    if (data.type.isEmpty() || (data.format != 8 && data.format != 16 && data.format != 32))
        return std::nullopt;
    return data;
}

std::optional<QList<QString>> Reader::targets(xcb_atom_t selection, QDeadlineTimer deadline)
{
    if (!m_x)
        return std::nullopt;
    xcb_connection_t* c = m_x->connection();
    auto owner = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner)
        return std::nullopt;
    if (owner->owner == XCB_WINDOW_NONE)
        return QList<QString> {};
    const auto list = read(selection, u"TARGETS"_s, deadline, maxTargets * 4);
    if (!list || list->format != 32)
        return std::nullopt;
    QList<xcb_get_atom_name_cookie_t> cookies;
    for (qsizetype i = 0; i + 4 <= list->bytes.size(); i += 4) {
        xcb_atom_t atom = 0;
        std::memcpy(&atom, list->bytes.constData() + i, 4);
        cookies.append(xcb_get_atom_name(c, atom));
    }
    QList<QString> targets;
    for (const auto& cookie : cookies) {
        auto r = reply(xcb_get_atom_name_reply(c, cookie, nullptr));
        if (!r)
            continue;
        const QString name
            = QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
        if (!name.isEmpty() && !targets.contains(name))
            targets.append(name);
    }
    return targets;
}

// ---- Keeper ----

struct Keeper::Private
{
    struct Command
    {
        QString selection;
        QList<Data> targets;
        bool done = false;
        bool owned = false;
    };
    struct Served
    {
        Data data;
        xcb_atom_t type = XCB_ATOM_NONE;
    };
    struct Transfer
    {
        xcb_window_t requestor;
        xcb_atom_t property;
        xcb_atom_t type;
        quint8 format;
        QByteArray bytes;
        qsizetype offset = 0;
        QDeadlineTimer expiry;
    };

    std::shared_ptr<XcbConnection> x;
    xcb_window_t window = XCB_WINDOW_NONE;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::mutex mutex;
    std::condition_variable answered;
    std::deque<std::shared_ptr<Command>> commands;
    bool stopping = false;
    std::atomic<bool> owning = false;

    // Thread state.
    xcb_atom_t selection = XCB_ATOM_NONE;
    xcb_timestamp_t since = XCB_CURRENT_TIME;
    QHash<xcb_atom_t, Served> served;
    QList<xcb_atom_t> order;
    QList<Transfer> transfers;

    void run();
    void take(Command& command);
    xcb_timestamp_t serverTime();
    void handle(xcb_generic_event_t* event);
    void answer(const xcb_selection_request_event_t& request);
    void notify(const xcb_selection_request_event_t& request, xcb_atom_t property);
    void nextChunk(xcb_window_t requestor, xcb_atom_t property);
};

Keeper& Keeper::instance()
{
    static Keeper keeper;
    return keeper;
}

Keeper::Keeper()
    : d(std::make_unique<Private>())
{
    d->x = XcbConnection::open();
    if (!d->x || ::pipe(d->wake) != 0)
        return;
    d->window = createWindow(*d->x);
    d->thread = std::thread([p = d.get()] { p->run(); });
}

Keeper::~Keeper()
{
    if (d->thread.joinable()) {
        {
            std::lock_guard lock(d->mutex);
            d->stopping = true;
        }
        const char byte = 0;
        [[maybe_unused]] auto written = ::write(d->wake[1], &byte, 1);
        d->thread.join();
    }
    for (int fd : d->wake)
        if (fd >= 0)
            ::close(fd);
}

bool Keeper::own(const QString& selection, const QList<Data>& targets, QDeadlineTimer deadline)
{
    if (!d->thread.joinable())
        return false;
    auto command = std::make_shared<Private::Command>();
    command->selection = selection;
    command->targets = targets;
    std::unique_lock lock(d->mutex);
    d->commands.push_back(command);
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(d->wake[1], &byte, 1);
    d->answered.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(), [&] { return command->done; });
    return command->done && command->owned;
}

bool Keeper::owns()
{
    return d->owning;
}

void Keeper::Private::run()
{
    xcb_connection_t* c = x->connection();
    for (;;) {
        std::deque<std::shared_ptr<Command>> pending;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            pending.swap(commands);
        }
        for (auto& command : pending) {
            take(*command);
            std::lock_guard lock(mutex);
            command->done = true;
            answered.notify_all();
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            handle(event);
            std::free(event);
        }
        transfers.removeIf([](const Transfer& t) { return t.expiry.hasExpired(); });
        xcb_flush(c);
        if (xcb_connection_has_error(c))
            return;
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake[0], POLLIN, 0}};
        ::poll(fds, 2, int(idleWake.count()));
        if (fds[1].revents & POLLIN) {
            char drain[64];
            [[maybe_unused]] auto n = ::read(wake[0], drain, sizeof drain);
        }
    }
}

xcb_timestamp_t Keeper::Private::serverTime()
{
    // A zero-length append to a property of our own comes back as a notice with the server's time.
    xcb_connection_t* c = x->connection();
    const xcb_atom_t stamp = x->atom("TESSELLON_TIMESTAMP");
    xcb_change_property(c, XCB_PROP_MODE_APPEND, window, stamp, XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(c);
    QDeadlineTimer deadline(std::chrono::seconds(2));
    while (!deadline.hasExpired() && !xcb_connection_has_error(c)) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->window == window && notify->atom == stamp) {
                    const xcb_timestamp_t time = notify->time;
                    std::free(event);
                    return time;
                }
            }
            handle(event);
            std::free(event);
        }
        waitReadable(c, deadline);
    }
    return XCB_CURRENT_TIME;
}

void Keeper::Private::take(Command& command)
{
    xcb_connection_t* c = x->connection();
    QHash<xcb_atom_t, Served> next;
    QList<xcb_atom_t> nextOrder;
    for (const Data& data : command.targets) {
        if (isMetaTarget(data.target))
            continue;
        const xcb_atom_t target = internAtom(c, data.target);
        const xcb_atom_t type = internAtom(c, data.type);
        if (target == XCB_ATOM_NONE || type == XCB_ATOM_NONE || next.contains(target))
            continue;
        next.insert(target, Served {data, type});
        nextOrder.append(target);
    }
    const xcb_atom_t wanted = internAtom(c, command.selection);
    const xcb_timestamp_t time = serverTime();
    selection = wanted;
    since = time;
    served = std::move(next);
    order = std::move(nextOrder);
    transfers.clear();
    xcb_set_selection_owner(c, window, wanted, time);
    auto owner = reply(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, wanted), nullptr));
    command.owned = owner && owner->owner == window;
    owning = command.owned;
}

void Keeper::Private::handle(xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
        answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        break;
    case XCB_SELECTION_CLEAR: {
        auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(event);
        if (clear->selection == selection && clear->owner == window) {
            owning = false;
            served.clear();
            order.clear();
        }
        break;
    }
    case XCB_PROPERTY_NOTIFY: {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->state == XCB_PROPERTY_DELETE)
            nextChunk(notify->window, notify->atom);
        break;
    }
    default:
        break;
    }
}

void Keeper::Private::notify(const xcb_selection_request_event_t& request, xcb_atom_t property)
{
    xcb_selection_notify_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_SELECTION_NOTIFY;
    event.time = request.time;
    event.requestor = request.requestor;
    event.selection = request.selection;
    event.target = request.target;
    event.property = property;
    xcb_send_event(
        x->connection(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(x->connection());
}

void Keeper::Private::answer(const xcb_selection_request_event_t& request)
{
    xcb_connection_t* c = x->connection();
    const xcb_atom_t property = request.property == XCB_ATOM_NONE ? request.target : request.property;
    const bool current = owning && request.selection == selection && request.owner == window
        && (request.time == XCB_CURRENT_TIME || since == XCB_CURRENT_TIME || request.time >= since);
    if (!current) {
        notify(request, XCB_ATOM_NONE);
        return;
    }
    if (request.target == x->atom("TARGETS")) {
        QList<xcb_atom_t> atoms {x->atom("TARGETS"), x->atom("TIMESTAMP")};
        atoms.append(order);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
            uint32_t(atoms.size()), atoms.constData());
        notify(request, property);
        return;
    }
    if (request.target == x->atom("TIMESTAMP")) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER, 32, 1, &since);
        notify(request, property);
        return;
    }
    const auto it = served.constFind(request.target);
    if (it == served.constEnd()) {
        notify(request, XCB_ATOM_NONE);
        return;
    }
    const Data& data = it->data;
    const int unit = data.format / 8;
    if (data.bytes.size() > incrementalAbove) {
        const uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, mask);
        const uint32_t size = uint32_t(data.bytes.size());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, x->atom("INCR"), 32, 1, &size);
        transfers.removeIf(
            [&](const Transfer& t) { return t.requestor == request.requestor && t.property == property; });
        transfers.append(Transfer {
            request.requestor, property, it->type, data.format, data.bytes, 0, QDeadlineTimer(transferLimit)});
        notify(request, property);
        return;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, it->type, data.format,
        uint32_t(data.bytes.size() / unit), data.bytes.constData());
    notify(request, property);
}

void Keeper::Private::nextChunk(xcb_window_t requestor, xcb_atom_t property)
{
    for (qsizetype i = 0; i < transfers.size(); ++i) {
        Transfer& t = transfers[i];
        if (t.requestor != requestor || t.property != property)
            continue;
        const int unit = t.format / 8;
        const qsizetype left = t.bytes.size() - t.offset;
        const qsizetype n = std::min(left, chunkBytes / unit * unit);
        xcb_change_property(x->connection(), XCB_PROP_MODE_REPLACE, requestor, property, t.type, t.format,
            uint32_t(n / unit), t.bytes.constData() + t.offset);
        xcb_flush(x->connection());
        t.expiry = QDeadlineTimer(transferLimit);
        if (n == 0) {
            // The zero-length chunk that ends the transfer has gone out.
            transfers.removeAt(i);
            const bool more = std::any_of(
                transfers.cbegin(), transfers.cend(), [&](const Transfer& o) { return o.requestor == requestor; });
            if (!more) {
                const uint32_t none[] = {XCB_EVENT_MASK_NO_EVENT};
                xcb_change_window_attributes(x->connection(), requestor, XCB_CW_EVENT_MASK, none);
            }
        } else {
            t.offset += n;
        }
        return;
    }
}

} // namespace SelectionTransfer
