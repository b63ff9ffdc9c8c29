#include "Platform/X11/AtspiAccessibility.h"

#include "Platform/X11/AtspiAccessibilityFocus.h"
#include "Platform/X11/AtspiMarshalling.h"
#include "Platform/X11/CopyCommand.h"
#include "Platform/X11/PrimarySelection.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XcbConnection.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QUuid>
#include <algorithm>
#include <atspi/atspi-constants.h>
#include <xcb/xtest.h>

namespace {
using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

constexpr int maxNodes = 3000; // elements examined while walking to the focus
constexpr int maxChildren = 400; // children examined per element
constexpr int maxDepth = 48;
constexpr int maxApplications = 512;
constexpr int maxSelections = 16;
constexpr int maxSelectedChars = 4 * 1024 * 1024;
constexpr int maxAddressChars = 16 * 1024;

const QString registryService = u"org.a11y.atspi.Registry"_s;
const QString rootPath = u"/org/a11y/atspi/accessible/root"_s;
const QString accessibleInterface = u"org.a11y.atspi.Accessible"_s;
const QString textInterface = u"org.a11y.atspi.Text"_s;
const QString documentInterface = u"org.a11y.atspi.Document"_s;
const QString collectionInterface = u"org.a11y.atspi.Collection"_s;
const QString applicationInterface = u"org.a11y.atspi.Application"_s;
// How long the hotkey's keys may stay down before the tree is read anyway, and how long the
// focus they hid may take to come back once they are up.
constexpr std::chrono::milliseconds keyReleaseWait {1000};
constexpr std::chrono::milliseconds refocusWait {200};
// The focused element and this many of its ancestors are asked whether they are a password field.
constexpr int passwordLevels = 3;
// How far above a document's frame a document holding the frame is looked for.
constexpr int frameHostLevels = 24;

using Atspi::ObjectRef;

// The rule of a Collection query for the element in focus.
struct FocusRule
{
};
} // namespace

Q_DECLARE_METATYPE(FocusRule)

namespace {
QDBusArgument& operator<<(QDBusArgument& argument, const FocusRule&)
{
    const int all = ATSPI_Collection_MATCH_ALL;
    argument.beginStructure();
    argument << QList<int> {1 << ATSPI_STATE_FOCUSED, 0} << all; // states, as the two words of a state set
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    argument.endMap();
    argument << all; // attributes: none asked for
    argument << QList<int> {} << all; // roles: any
    argument << QStringList {} << all; // interfaces: any
    argument << false; // not inverted
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, FocusRule&)
{
    return argument;
}

void registerTypes()
{
    static const bool registered = [] {
        Atspi::registerTypes();
        qDBusRegisterMetaType<FocusRule>();
        return true;
    }();
    Q_UNUSED(registered);
}

// What one application element shares with the elements reached from it: the connection, the
// time budget, whether the application stopped answering, and what the PRIMARY stand-in needs.
struct Session
{
    QDBusConnection bus {QString()};
    qint32 pid = 0;
    std::shared_ptr<XcbConnection> x;
    std::shared_ptr<AtspiFocusTracker> tracker;
    xcb_window_t frontWindow = XCB_WINDOW_NONE; // the process's window in front, if it is
    bool withoutTree = false; // the process is not on the bus
    // PRIMARY may stand in: the program in front is one whose selecting is its copy.
    bool primaryFallback = true;
    Clock::time_point deadline;
    bool dead = false;

    bool usable() const { return !dead && Clock::now() < deadline; }

    std::optional<QList<QVariant>> call(
        const ObjectRef& object, const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        if (!usable() || object.isNull())
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const auto timeout = std::clamp(left, std::chrono::milliseconds(1), AtspiAccessibility::callTimeout);
        QDBusMessage message = QDBusMessage::createMethodCall(object.service, object.path.path(), interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = bus.call(message, QDBus::Block, int(timeout.count()));
        if (reply.type() == QDBusMessage::ErrorMessage) {
            // A call that timed out means an application that does not answer: ask it no more.
            if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")
                || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout")
                || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
                dead = true;
            return std::nullopt;
        }
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        return reply.arguments();
    }

    std::optional<QVariant> first(
        const ObjectRef& object, const QString& interface, const QString& method, const QVariantList& arguments = {})
    {
        auto answer = call(object, interface, method, arguments);
        if (!answer || answer->isEmpty())
            return std::nullopt;
        return answer->first();
    }

    std::optional<QVariant> property(const ObjectRef& object, const QString& interface, const QString& name)
    {
        auto value = first(object, u"org.freedesktop.DBus.Properties"_s, u"Get"_s, {interface, name});
        if (!value)
            return std::nullopt;
        return qvariant_cast<QDBusVariant>(*value).variant();
    }

    std::optional<quint64> states(const ObjectRef& object)
    {
        auto value = first(object, accessibleInterface, u"GetState"_s);
        if (!value)
            return std::nullopt;
        const auto words = qdbus_cast<QList<uint>>(*value);
        if (words.isEmpty())
            return std::nullopt;
        return quint64(words.value(0)) | (quint64(words.value(1)) << 32);
    }

    bool hasState(const ObjectRef& object, AtspiStateType state)
    {
        const auto set = states(object);
        return set && (*set & (quint64(1) << state));
    }

    std::optional<uint> role(const ObjectRef& object)
    {
        auto value = first(object, accessibleInterface, u"GetRole"_s);
        if (!value)
            return std::nullopt;
        bool ok = false;
        const uint role = value->toUInt(&ok);
        return ok ? std::optional<uint>(role) : std::nullopt;
    }

    QList<ObjectRef> children(const ObjectRef& object)
    {
        auto value = first(object, accessibleInterface, u"GetChildren"_s);
        if (!value)
            return {};
        QList<ObjectRef> list = qdbus_cast<QList<ObjectRef>>(*value);
        if (list.size() > maxChildren)
            list.resize(maxChildren);
        list.removeIf([](const ObjectRef& ref) { return ref.isNull(); });
        return list;
    }

    std::optional<ObjectRef> parent(const ObjectRef& object)
    {
        auto value = property(object, accessibleInterface, u"Parent"_s);
        if (!value || !value->canConvert<QDBusArgument>())
            return std::nullopt;
        return qdbus_cast<ObjectRef>(*value);
    }

    // An element that still exists (a tracked one may have gone since).
    std::optional<ObjectRef> alive(const ObjectRef& object)
    {
        const auto set = states(object);
        if (!set || (*set & (quint64(1) << ATSPI_STATE_DEFUNCT)))
            return std::nullopt;
        return object;
    }

    std::optional<ObjectRef> tracked(const QString& service)
    {
        const auto focus = tracker ? tracker->lastFocus(service) : std::nullopt;
        if (!focus)
            return std::nullopt;
        return alive({focus->service, QDBusObjectPath(focus->path)});
    }

    // The element in focus: the one the application last reported gaining it, else one query
    // where the toolkit answers it cheaply, else a bounded walk of the tree.
    std::optional<ObjectRef> focused(const ObjectRef& application)
    {
        const auto asked = Clock::now();
        if (auto found = tracked(application.service))
            return found;
        // While the hotkey's keys are held its grab hides the focus from GTK 3, which gives it
        // back as soon as they are up: the tree is read then.
        if (x && XTestKeyInjector::keysDown(*x).value_or(false)) {
            XTestKeyInjector::waitForKeysUp(*x, {}, keyReleaseWait);
            if (tracker && usable()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (const auto focus = tracker->waitForFocus(application.service, asked, std::min(refocusWait, left)))
                    if (auto found = alive({focus->service, QDBusObjectPath(focus->path)}))
                        return found;
            }
        }
        if (auto found = queried(application))
            return found;
        // The walk has a bound of its own: what it cannot find in time the copy keystroke gets.
        const Clock::time_point whole = deadline;
        deadline = std::min(deadline, Clock::now() + AtspiAccessibility::walkBudget);
        std::optional<ObjectRef> found = walked(application);
        deadline = whole;
        return found;
    }

    // One Collection query, where the toolkit offers it and answers it without visiting every
    // element (GTK's bridge walks the whole tree for it, keeping the application busy).
    std::optional<ObjectRef> queried(const ObjectRef& application)
    {
        const auto toolkit = property(application, applicationInterface, u"ToolkitName"_s);
        const QString name = toolkit ? toolkit->toString().toLower() : QString();
        if (name.startsWith(QLatin1String("gail")) || name.startsWith(QLatin1String("gtk")))
            return std::nullopt;
        const QVariantList query {
            QVariant::fromValue(FocusRule {}), uint(ATSPI_Collection_SORT_ORDER_CANONICAL), 1, true};
        if (auto value = first(application, collectionInterface, u"GetMatches"_s, query)) {
            const auto matches = qdbus_cast<QList<ObjectRef>>(*value);
            for (const ObjectRef& match : matches)
                if (!match.isNull())
                    return match;
        }
        return std::nullopt;
    }

    // The walk: active windows first. Showing elements are looked at before those that are
    // only visible (GTK 4 marks nothing below its windows as showing).
    std::optional<ObjectRef> walked(const ObjectRef& application)
    {
        QList<ObjectRef> active, inactive;
        for (const ObjectRef& window : children(application))
            (hasState(window, ATSPI_STATE_ACTIVE) ? active : inactive).append(window);
        int visited = 0;
        for (const QList<ObjectRef>& windows : {active, inactive})
            if (auto found = walked(windows, visited))
                return found;
        return std::nullopt;
    }

    std::optional<ObjectRef> walked(const QList<ObjectRef>& windows, int& visited)
    {
        struct Item
        {
            ObjectRef node;
            int depth;
        };
        QList<Item> shown, visible;
        for (auto it = windows.crbegin(); it != windows.crend(); ++it)
            shown.append({*it, 1});
        while ((!shown.isEmpty() || !visible.isEmpty()) && visited < maxNodes && usable()) {
            const Item item = !shown.isEmpty() ? shown.takeLast() : visible.takeLast();
            ++visited;
            const auto set = states(item.node);
            if (!set)
                continue;
            if (*set & (quint64(1) << ATSPI_STATE_FOCUSED))
                return item.node;
            const bool showing = *set & (quint64(1) << ATSPI_STATE_SHOWING);
            if (item.depth >= maxDepth || (!showing && !(*set & (quint64(1) << ATSPI_STATE_VISIBLE))))
                continue;
            QList<Item>& next = showing ? shown : visible;
            const QList<ObjectRef> kids = children(item.node);
            for (auto it = kids.crbegin(); it != kids.crend(); ++it)
                next.append({*it, item.depth + 1});
        }
        return std::nullopt;
    }

    // Whether the element is a document inside a frame of another document (a page's iframe).
    // The frame a browser hosts its top-level document in (Firefox's) lies in no document: its
    // ancestors are the browser's window. A walk that cannot tell counts as a frame.
    bool inFrame(const ObjectRef& element)
    {
        std::optional<ObjectRef> up = parent(element);
        if (!up || up->isNull())
            return false;
        const auto role = this->role(*up);
        if (!role || *role != ATSPI_ROLE_INTERNAL_FRAME)
            return false;
        for (int level = 0; level < frameHostLevels; ++level) {
            up = parent(*up);
            if (!up)
                return true;
            if (up->isNull() || up->service == registryService)
                return false;
            const auto above = this->role(*up);
            if (!above)
                return true;
            if (*above == ATSPI_ROLE_DOCUMENT_WEB || *above == ATSPI_ROLE_DOCUMENT_FRAME
                || *above == ATSPI_ROLE_DOCUMENT_TEXT || *above == ATSPI_ROLE_DOCUMENT_EMAIL)
                return true;
            if (*above == ATSPI_ROLE_FRAME || *above == ATSPI_ROLE_WINDOW || *above == ATSPI_ROLE_DIALOG
                || *above == ATSPI_ROLE_APPLICATION)
                return false;
        }
        return true;
    }

    // Whether the element is a password field or part of one (GTK 4 focuses the text inside
    // its password entry, and that text answers with the secret): asked before any text is read.
    bool inPassword(const ObjectRef& element)
    {
        std::optional<ObjectRef> node = element;
        for (int level = 0; node && !node->isNull() && level <= passwordLevels; ++level) {
            const auto role = this->role(*node);
            if (!role)
                return false;
            if (*role == ATSPI_ROLE_PASSWORD_TEXT)
                return true;
            if (*role == ATSPI_ROLE_FRAME || *role == ATSPI_ROLE_WINDOW || *role == ATSPI_ROLE_DIALOG
                || *role == ATSPI_ROLE_APPLICATION)
                return false;
            node = parent(*node);
        }
        return false;
    }

    // PRIMARY in place of the tree's selection, when this application owns it (for a program
    // without a tree, the front window's own X client), or a program running inside it does.
    std::optional<QString> primary()
    {
        if (!primaryFallback || !x)
            return std::nullopt;
        const bool owned = (withoutTree ? PrimarySelection::ownedByClientOf(*x, frontWindow)
                                        : PrimarySelection::ownerProcess(*x) == pid)
            || PrimarySelection::ownedByDescendantOf(*x, pid);
        if (!owned)
            return std::nullopt;
        return PrimarySelection::read();
    }
};

class ObjectElement final : public AccessibleElement
{
public:
    // A null object stands for a window without a tree (a terminal where selecting is copying).
    ObjectElement(std::shared_ptr<Session> session, std::optional<ObjectRef> object, bool focused, bool password)
        : m_session(std::move(session))
        , m_object(std::move(object))
        , m_focused(focused)
        , m_password(password)
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
        case AccessibleAttribute::Protected:
            return AccessibleValue::ofFlag(m_password);
        case AccessibleAttribute::StandIn:
            return AccessibleValue::ofFlag(!m_object);
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
        const auto count = m_session->first(*m_object, textInterface, u"GetNSelections"_s);
        if (!count)
            return std::nullopt;
        QStringList parts;
        const int n = std::min(count->toInt(), maxSelections);
        for (int i = 0; i < n && m_session->usable(); ++i) {
            const auto range = m_session->call(*m_object, textInterface, u"GetSelection"_s, {i});
            if (!range || range->size() < 2)
                break;
            const int start = std::max(0, range->at(0).toInt());
            const int end = int(std::min<qint64>(range->at(1).toInt(), qint64(start) + maxSelectedChars));
            if (end <= start)
                continue;
            const auto text = m_session->first(*m_object, textInterface, u"GetText"_s, {start, end});
            if (text)
                parts.append(text->toString());
        }
        // Embedded objects (images, links in a browser's document) stand in the text as U+FFFC.
        QString joined = parts.join(u'\n');
        joined.remove(QChar(0xFFFC));
        return joined.isEmpty() ? std::nullopt : std::optional<QString>(joined);
    }

    AccessibleValue selectedText() const
    {
        if (m_password)
            return AccessibleValue::absent();
        if (auto text = treeSelection())
            return AccessibleValue::ofText(*text);
        // The stand-in applies to the focused element only: an ancestor holds no other selection.
        if (m_focused) {
            if (auto text = m_session->primary())
                return AccessibleValue::ofText(*text);
        }
        return AccessibleValue::absent();
    }

    AccessibleValue address(AccessibleAttribute which) const
    {
        if (!m_object)
            return AccessibleValue::absent();
        if (!m_session->usable())
            return AccessibleValue::failed();
        std::optional<QString> value;
        for (const QString& key : {u"DocURL"_s, u"URI"_s}) {
            const auto raw = m_session->first(*m_object, documentInterface, u"GetAttributeValue"_s, {key});
            if (!raw)
                break; // no document here, or no answer
            const QString text = raw->toString().trimmed();
            if (!text.isEmpty() && text.size() <= maxAddressChars) {
                value = text;
                break;
            }
        }
        // A frame's document names the frame, not the page the window shows: the address and
        // the title stay the top-level document's pair.
        if (!value || m_session->inFrame(*m_object))
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
        const auto up = m_session->parent(*m_object);
        if (!up)
            return AccessibleValue::failed();
        // The desktop above the application ends the walk.
        if (up->isNull() || up->service == registryService)
            return AccessibleValue::absent();
        return AccessibleValue::ofElement(std::make_shared<ObjectElement>(m_session, *up, false, false));
    }

    std::shared_ptr<Session> m_session;
    std::optional<ObjectRef> m_object;
    bool m_focused;
    bool m_password;
};

class ApplicationElement final : public AccessibleElement
{
public:
    ApplicationElement(std::shared_ptr<Session> session, std::optional<ObjectRef> application, bool selectionTerminal)
        : m_session(std::move(session))
        , m_application(std::move(application))
        , m_selectionTerminal(selectionTerminal)
    {
    }

    AccessibleValue attribute(AccessibleAttribute attribute) const override
    {
        if (attribute != AccessibleAttribute::FocusedElement)
            return AccessibleValue::absent();
        if (m_application) {
            if (const auto focused = m_session->focused(*m_application)) {
                const bool password = m_session->inPassword(*focused);
                return AccessibleValue::ofElement(std::make_shared<ObjectElement>(m_session, focused, true, password));
            }
        }
        // Without a focused element only a terminal whose selection is its copy, or a program
        // without a tree, has one to offer: its PRIMARY selection.
        if ((m_selectionTerminal || !m_application) && m_session->primaryFallback)
            return AccessibleValue::ofElement(std::make_shared<ObjectElement>(m_session, std::nullopt, true, false));
        return AccessibleValue::absent();
    }

private:
    std::shared_ptr<Session> m_session;
    std::optional<ObjectRef> m_application;
    bool m_selectionTerminal;
};
} // namespace

AtspiAccessibility::AtspiAccessibility()
    : AtspiAccessibility(XcbConnection::open())
{
}

AtspiAccessibility::AtspiAccessibility(std::shared_ptr<XcbConnection> connection)
    : m_connection(std::move(connection))
    , m_tracker(AtspiFocusTracker::shared())
{
}

AtspiAccessibility::~AtspiAccessibility()
{
    if (!m_busName.isEmpty())
        QDBusConnection::disconnectFromBus(m_busName);
}

bool AtspiAccessibility::followsFocus(std::chrono::milliseconds wait)
{
    return m_tracker->waitUntilListening(wait);
}

void AtspiAccessibility::stopFollowingFocus()
{
    m_tracker->stop();
}

bool AtspiAccessibility::isTrusted()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !m_connection)
        return false;
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_connection->connection(), &xcb_test_id);
    return xtest && xtest->present;
}

std::optional<QByteArray> AtspiAccessibility::reachableBusAddress(
    XcbConnection* connection, std::chrono::milliseconds timeout)
{
    std::optional<QByteArray> address;
    // The address published on the root window comes first, as toolkits take it.
    if (connection)
        if (auto published
            = connection->property(connection->root(), connection->atom("AT_SPI_BUS"), XCB_ATOM_STRING, 4096);
            published && !published->isEmpty())
            address = *published;
    if (!address) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (!session.isConnected())
            return std::nullopt;
        QDBusMessage call
            = QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s, u"GetAddress"_s);
        QDBusReply<QString> reply = session.call(call, QDBus::Block, int(timeout.count()));
        if (!reply.isValid() || reply.value().isEmpty() || reply.value().size() > 4096)
            return std::nullopt;
        address = reply.value().toUtf8();
    }
    const QString name = u"tessellon-a11y-check-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
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

bool AtspiAccessibility::ensureBus()
{
    if (!m_busName.isEmpty()) {
        if (QDBusConnection(m_busName).isConnected())
            return true;
        QDBusConnection::disconnectFromBus(m_busName);
        m_busName.clear();
    }
    const auto address = reachableBusAddress(m_connection.get());
    if (!address)
        return false;
    registerTypes();
    const QString name = u"tessellon-a11y-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(*address), name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return false;
    }
    m_busName = name;
    return true;
}

namespace {
// `connected` tells whether the process is on the bus at all, answering or not.
std::optional<ObjectRef> unlistedApplication(
    Session& session, const ObjectRef& bus, qint32 processIdentifier, bool& connected)
{
    const auto names = session.first(bus, u"org.freedesktop.DBus"_s, u"ListNames"_s);
    if (!names)
        return std::nullopt;
    int asked = 0;
    for (const QString& name : names->toStringList()) {
        if (!name.startsWith(u':') || name == session.bus.baseService())
            continue;
        if (++asked > maxApplications)
            break;
        const auto pid = session.first(bus, u"org.freedesktop.DBus"_s, u"GetConnectionUnixProcessID"_s, {name});
        if (!pid || pid->toUInt() != uint(processIdentifier))
            continue;
        connected = true;
        const ObjectRef root {name, QDBusObjectPath(rootPath)};
        if (session.role(root))
            return root;
    }
    return std::nullopt;
}
} // namespace

AccessibleElementRef AtspiAccessibility::applicationElement(qint32 processIdentifier)
{
    if (processIdentifier <= 0)
        return nullptr;
    auto session = std::make_shared<Session>();
    session->pid = processIdentifier;
    session->x = m_connection;
    session->tracker = m_tracker;
    session->deadline = Clock::now() + m_budget;

    // A terminal where selecting is copying: its PRIMARY selection stands for a focused element.
    // PRIMARY stands in only for a program whose selecting is its copy.
    bool selectionTerminal = false;
    bool selectingIsCopy = false;
    if (m_connection) {
        const xcb_window_t active = m_connection->activeWindow();
        if (active != XCB_WINDOW_NONE && m_connection->processOf(active) == processIdentifier) {
            session->frontWindow = active;
            selectionTerminal = CopyCommand::forWindow(*m_connection, active) == CopyCommand::Keys::none;
            selectingIsCopy = CopyCommand::selectingIsCopy(*m_connection, active);
        }
    }
    session->primaryFallback = m_primaryFallback && selectingIsCopy;

    // Without an accessibility bus there is neither a tree nor a safe PRIMARY stand-in (nothing
    // tells a password field): the capture goes through the copy keystroke alone.
    if (!ensureBus())
        return nullptr;
    std::optional<ObjectRef> application;
    bool connected = false; // on the bus, with or without a tree that answers
    {
        session->bus = QDBusConnection(m_busName);
        const ObjectRef desktop {registryService, QDBusObjectPath(rootPath)};
        QList<ObjectRef> applications = session->children(desktop);
        if (applications.size() > maxApplications)
            applications.resize(maxApplications);
        const ObjectRef bus {u"org.freedesktop.DBus"_s, QDBusObjectPath(u"/org/freedesktop/DBus"_s)};
        for (const ObjectRef& candidate : applications) {
            const auto pid
                = session->first(bus, u"org.freedesktop.DBus"_s, u"GetConnectionUnixProcessID"_s, {candidate.service});
            if (pid && pid->toUInt() == uint(processIdentifier)) {
                application = candidate;
                break;
            }
        }
        // An application on the bus that the registry does not list yet (GTK 4 registers with it
        // some time after it connects): its root object, when it answers.
        if (!application)
            application = unlistedApplication(*session, bus, processIdentifier, connected);
    }
    // A slow registry says nothing about the application itself: its budget starts now.
    session->dead = false;
    session->deadline = Clock::now() + m_budget;
    // A program without a tree whose selecting is its copy (a document viewer) offers its
    // window's PRIMARY selection, once its copy keystroke has changed nothing. Any other, and one
    // on the bus whose tree does not answer (a toolkit whose accessibility has not come up),
    // offers nothing: it may be a password field.
    session->withoutTree = !application;
    if (!application && !selectionTerminal && (connected || !session->primaryFallback))
        return nullptr;
    return std::make_shared<ApplicationElement>(session, application, selectionTerminal);
}
