// libatspi's GLib headers use "signals" as a name, so they come before any Qt header.
#include <atspi/atspi.h>

#include "Platform/X11/AtspiAccessibility.h"

#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/XcbConnection.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMutex>
#include <QUuid>
#include <algorithm>
#include <cstring>
#include <xcb/xtest.h>

namespace {
constexpr int kCallTimeoutMs = 700;
constexpr int kStartupTimeoutMs = 2000;
constexpr int kMaxNodes = 4000; // elements examined while looking for the focus
constexpr int kMaxChildren = 400; // children examined per element
constexpr int kMaxDepth = 48;
constexpr int kMaxApplications = 512;
constexpr int kMaxSelections = 16;
constexpr int kMaxSelectedChars = 4 * 1024 * 1024;
constexpr int kMaxAddressChars = 16 * 1024;

QMutex g_initLock;
bool g_initialized = false;
GMainContext* g_context = nullptr;

// Runs what libatspi has queued for us (cache updates, replies to drop), bounded.
void drainEvents()
{
    for (int i = 0; i < 2000 && g_context && g_main_context_iteration(g_context, FALSE); ++i) { }
}

// A reference-counted libatspi object.
template <typename T> struct GRef
{
    T* p = nullptr;
    GRef() = default;
    explicit GRef(T* adopt)
        : p(adopt)
    {
    }
    GRef(const GRef& o)
        : p(o.p ? static_cast<T*>(g_object_ref(o.p)) : nullptr)
    {
    }
    GRef& operator=(const GRef& o)
    {
        GRef copy(o);
        std::swap(p, copy.p);
        return *this;
    }
    ~GRef()
    {
        if (p)
            g_object_unref(p);
    }
    explicit operator bool() const { return p; }
};
using Accessible = GRef<AtspiAccessible>;

// What one application element shares with the elements reached from it: the time budget,
// whether AT-SPI stopped answering, and what the PRIMARY fallback needs.
struct Session
{
    qint32 pid = 0;
    std::shared_ptr<XcbConnection> x;
    bool primaryFallback = true;
    QElapsedTimer clock;
    double budget = 2.5;
    bool dead = false;

    bool usable() const { return !dead && clock.elapsed() < qint64(budget * 1000); }
    // Takes the error of a finished call; a slow or failed call ends the session's AT-SPI use
    // when the application looks hung.
    bool ok(GError*& error, const QElapsedTimer& call)
    {
        const bool failed = error != nullptr;
        if (error)
            g_clear_error(&error);
        if (call.elapsed() >= kCallTimeoutMs)
            dead = true;
        return !failed;
    }
};

bool hasState(AtspiAccessible* a, AtspiStateType state)
{
    AtspiStateSet* set = atspi_accessible_get_state_set(a);
    if (!set)
        return false;
    const bool result = atspi_state_set_contains(set, state);
    g_object_unref(set);
    return result;
}

class ObjectElement final : public AccessibleElement
{
public:
    ObjectElement(std::shared_ptr<Session> session, Accessible object, bool focused)
        : m_session(std::move(session))
        , m_object(std::move(object))
        , m_focused(focused)
    {
    }

    AccessibleValue attribute(AccessibleAttribute attribute) const override
    {
        switch (attribute) {
        case AccessibleAttribute::SelectedText:
            return selectedText();
        case AccessibleAttribute::Document:
        case AccessibleAttribute::URL:
            return address(attribute);
        case AccessibleAttribute::Parent:
            return parent();
        case AccessibleAttribute::FocusedElement:
            return AccessibleValue::absent();
        }
        return AccessibleValue::failed();
    }

private:
    std::optional<QString> treeSelection() const
    {
        if (!m_object || !m_session->usable())
            return std::nullopt;
        AtspiText* text = atspi_accessible_get_text_iface(m_object.p);
        if (!text)
            return std::nullopt;
        GError* error = nullptr;
        QElapsedTimer call;
        call.start();
        const int n = atspi_text_get_n_selections(text, &error);
        QStringList parts;
        if (m_session->ok(error, call)) {
            for (int i = 0; i < std::min(n, kMaxSelections) && m_session->usable(); ++i) {
                call.restart();
                AtspiRange* range = atspi_text_get_selection(text, i, &error);
                if (!m_session->ok(error, call) || !range) {
                    g_free(range);
                    break;
                }
                const int start = std::max(0, range->start_offset);
                const int end = std::min(range->end_offset, start + kMaxSelectedChars);
                g_free(range);
                if (end <= start)
                    continue;
                call.restart();
                gchar* chars = atspi_text_get_text(text, start, end, &error);
                if (m_session->ok(error, call) && chars)
                    parts.append(QString::fromUtf8(chars));
                g_free(chars);
            }
        }
        g_object_unref(text);
        const QString joined = parts.join(u'\n');
        return joined.isEmpty() ? std::nullopt : std::optional<QString>(joined);
    }

    AccessibleValue selectedText() const
    {
        if (auto text = treeSelection())
            return AccessibleValue::ofText(*text);
        // The stand-in applies to the focused element only: an ancestor holds no other selection.
        if (m_focused && m_session->primaryFallback && m_session->x
            && PrimarySelection::ownerProcess(*m_session->x) == m_session->pid) {
            if (auto primary = PrimarySelection::read(*m_session->x))
                return AccessibleValue::ofText(*primary);
        }
        return AccessibleValue::absent();
    }

    AccessibleValue address(AccessibleAttribute which) const
    {
        if (!m_object || !m_session->usable())
            return m_object ? AccessibleValue::failed() : AccessibleValue::absent();
        AtspiDocument* document = atspi_accessible_get_document_iface(m_object.p);
        if (!document)
            return AccessibleValue::absent();
        std::optional<QString> value;
        for (const char* key : {"DocURL", "URI"}) {
            GError* error = nullptr;
            QElapsedTimer call;
            call.start();
            gchar* raw = atspi_document_get_document_attribute_value(document, const_cast<gchar*>(key), &error);
            const bool ok = m_session->ok(error, call);
            if (ok && raw && *raw && std::strlen(raw) <= size_t(kMaxAddressChars))
                value = QString::fromUtf8(raw).trimmed();
            g_free(raw);
            if (value || !m_session->usable())
                break;
        }
        g_object_unref(document);
        if (!value || value->isEmpty())
            return AccessibleValue::absent();
        const QString lower = value->left(8).toLower();
        const bool isFile = lower.startsWith(QLatin1String("file:"));
        const bool isWeb = lower.startsWith(QLatin1String("http://")) || lower.startsWith(QLatin1String("https://"));
        if ((which == AccessibleAttribute::Document && isFile) || (which == AccessibleAttribute::URL && isWeb))
            return AccessibleValue::ofText(*value);
        return AccessibleValue::absent();
    }

    AccessibleValue parent() const
    {
        if (!m_object)
            return AccessibleValue::absent();
        if (!m_session->usable())
            return AccessibleValue::failed();
        GError* error = nullptr;
        QElapsedTimer call;
        call.start();
        Accessible up(atspi_accessible_get_parent(m_object.p, &error));
        if (!m_session->ok(error, call))
            return AccessibleValue::failed();
        if (!up)
            return AccessibleValue::absent();
        call.restart();
        const AtspiRole role = atspi_accessible_get_role(up.p, &error);
        if (!m_session->ok(error, call) || role == ATSPI_ROLE_DESKTOP_FRAME)
            return AccessibleValue::absent();
        return AccessibleValue::ofElement(std::make_shared<ObjectElement>(m_session, up, false));
    }

    std::shared_ptr<Session> m_session;
    Accessible m_object;
    bool m_focused;
};

class ApplicationElement final : public AccessibleElement
{
public:
    ApplicationElement(std::shared_ptr<Session> session, Accessible application)
        : m_session(std::move(session))
        , m_application(std::move(application))
    {
    }

    AccessibleValue attribute(AccessibleAttribute attribute) const override
    {
        if (attribute != AccessibleAttribute::FocusedElement)
            return AccessibleValue::absent();
        Accessible focused = m_application ? findFocused() : Accessible();
        if (!focused && !m_session->primaryFallback)
            return AccessibleValue::absent();
        // Without a focused object (an application outside AT-SPI, such as a terminal), an
        // element that offers only the PRIMARY stand-in.
        return AccessibleValue::ofElement(std::make_shared<ObjectElement>(m_session, focused, true));
    }

private:
    Accessible child(AtspiAccessible* parent, int index) const
    {
        GError* error = nullptr;
        QElapsedTimer call;
        call.start();
        Accessible c(atspi_accessible_get_child_at_index(parent, index, &error));
        return m_session->ok(error, call) ? c : Accessible();
    }

    int childCount(AtspiAccessible* a) const
    {
        GError* error = nullptr;
        QElapsedTimer call;
        call.start();
        const int n = atspi_accessible_get_child_count(a, &error);
        return m_session->ok(error, call) ? std::clamp(n, 0, kMaxChildren) : 0;
    }

    // Depth-first through showing elements, active windows first, bounded in nodes and depth.
    Accessible findFocused() const
    {
        struct Item
        {
            Accessible node;
            int depth;
        };
        QList<Item> stack;
        const int windows = childCount(m_application.p);
        QList<Accessible> active, inactive;
        for (int i = 0; i < windows && m_session->usable(); ++i) {
            Accessible w = child(m_application.p, i);
            if (w)
                (hasState(w.p, ATSPI_STATE_ACTIVE) ? active : inactive).append(w);
        }
        for (auto it = inactive.crbegin(); it != inactive.crend(); ++it)
            stack.append({*it, 1});
        for (auto it = active.crbegin(); it != active.crend(); ++it)
            stack.append({*it, 1});
        int visited = 0;
        while (!stack.isEmpty() && visited < kMaxNodes && m_session->usable()) {
            Item item = stack.takeLast();
            ++visited;
            if (hasState(item.node.p, ATSPI_STATE_FOCUSED))
                return item.node;
            if (item.depth >= kMaxDepth || !hasState(item.node.p, ATSPI_STATE_SHOWING))
                continue;
            const int n = childCount(item.node.p);
            for (int i = n - 1; i >= 0 && m_session->usable(); --i)
                if (Accessible c = child(item.node.p, i))
                    stack.append({c, item.depth + 1});
        }
        return {};
    }

    std::shared_ptr<Session> m_session;
    Accessible m_application;
};
} // namespace

AtspiAccessibility::AtspiAccessibility()
    : m_connection(XcbConnection::open())
{
}

AtspiAccessibility::AtspiAccessibility(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection))
{
}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isTrusted()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !m_connection)
        return false;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_connection->connection(), &xcb_test_id);
    return xtest && xtest->present;
}

std::optional<QByteArray> AtspiAccessibility::reachableBusAddress(XcbConnection* connection, int timeoutMs)
{
    std::optional<QByteArray> address;
    // libatspi prefers the address published on the root window, as we do.
    if (connection)
        if (auto published
            = connection->property(connection->root(), connection->atom("AT_SPI_BUS"), XCB_ATOM_STRING, 4096);
            published && !published->isEmpty())
            address = *published;
    if (!address) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected())
            return std::nullopt;
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
            QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        QDBusReply<QString> reply = session.call(call, QDBus::Block, timeoutMs);
        if (!reply.isValid() || reply.value().isEmpty() || reply.value().size() > 4096)
            return std::nullopt;
        address = reply.value().toUtf8();
    }
    const QString name = QStringLiteral("tessellon-a11y-check-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool reachable = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(*address), name);
        reachable = bus.isConnected();
    }
    QDBusConnection::disconnectFromBus(name);
    if (!reachable)
        return std::nullopt;
    return address;
}

bool AtspiAccessibility::ensureAtspi()
{
    QMutexLocker lock(&g_initLock);
    if (g_initialized) {
        drainEvents();
        return true;
    }
    if (!reachableBusAddress(m_connection.get()))
        return false;
    atspi_set_timeout(kCallTimeoutMs, kStartupTimeoutMs);
    const int status = atspi_init();
    if (status != 0 && status != 1) // 1: already initialised by someone else in this process
        return false;
    g_context = g_main_context_new();
    atspi_set_main_context(g_context);
    g_initialized = true;
    return true;
}

AccessibleElementRef AtspiAccessibility::applicationElement(qint32 processIdentifier)
{
    if (processIdentifier <= 0)
        return nullptr;
    auto session = std::make_shared<Session>();
    session->pid = processIdentifier;
    session->x = m_connection;
    session->primaryFallback = m_primaryFallback;
    session->budget = m_budget;
    session->clock.start();

    Accessible application;
    if (ensureAtspi()) {
        Accessible desktop(atspi_get_desktop(0));
        if (desktop) {
            atspi_accessible_set_cache_mask(desktop.p, ATSPI_CACHE_NONE);
            GError* error = nullptr;
            QElapsedTimer call;
            call.start();
            const int n = std::min(atspi_accessible_get_child_count(desktop.p, &error), kMaxApplications);
            if (session->ok(error, call)) {
                for (int i = 0; i < n && session->usable() && !application; ++i) {
                    call.restart();
                    Accessible app(atspi_accessible_get_child_at_index(desktop.p, i, &error));
                    if (!session->ok(error, call) || !app)
                        continue;
                    call.restart();
                    const guint pid = atspi_accessible_get_process_id(app.p, &error);
                    if (session->ok(error, call) && pid == guint(processIdentifier)) {
                        atspi_accessible_set_cache_mask(app.p, ATSPI_CACHE_NONE);
                        application = app;
                    }
                }
            }
        }
    }
    // A slow registry says nothing about the application itself: its budget starts now.
    session->dead = false;
    session->clock.restart();
    if (!application && !(m_primaryFallback && m_connection))
        return nullptr;
    return std::make_shared<ApplicationElement>(session, application);
}
