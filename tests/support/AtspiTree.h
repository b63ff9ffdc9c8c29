#pragma once
// This test process's own accessible tree as a screen reader meets it: read over the
// accessibility bus (AT-SPI spoken through QtDBus) from a thread of its own, while the test's
// thread keeps answering for the application. For the X11 tests, which link the QtDBus backends.

#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/AtspiMarshalling.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEventLoop>
#include <functional>
#include <optional>
#include <thread>

namespace AtspiTree {

// Protocol numbers of the AT-SPI states and relations the tests read.
constexpr int stateChecked = 4;
constexpr int stateFocused = 12;
constexpr int stateSelected = 23;
constexpr uint relationLabelledBy = 2;

// One element as a screen reader reads it.
struct Element
{
    Atspi::ObjectRef ref;
    int parent = -1; // index of the parent in the tree read, -1 for a window
    QString name;
    QString description;
    QString role;
    QStringList labels; // the names of the elements that label it
    QStringList actions;
    int childCount = 0; // as the element reports it
    quint64 states = 0;
    bool has(int state) const { return states & (quint64(1) << state); }
};

// Speaks to the accessibility bus from the calling thread.
class Reader
{
public:
    Reader()
        : m_name(QStringLiteral("atspi-tree-") + QString::number(quintptr(this)))
    {
        Atspi::registerTypes();
        if (const auto address = AtspiAccessibility::reachableBusAddress(nullptr))
            m_bus = QDBusConnection::connectToBus(QString::fromUtf8(*address), m_name);
    }
    ~Reader() { QDBusConnection::disconnectFromBus(m_name); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool connected() const { return m_bus.isConnected(); }

    // Every element of this process's windows (or another process's), breadth first, parents
    // before their children.
    QList<Element> read(int limit = 4000, qint64 process = QCoreApplication::applicationPid())
    {
        QList<Element> found;
        const auto application = ownApplication(process);
        if (!application)
            return found;
        QList<std::pair<Atspi::ObjectRef, int>> queue;
        for (const Atspi::ObjectRef& window : children(*application))
            queue.append({window, -1});
        while (!queue.isEmpty() && found.size() < limit) {
            const auto [node, parent] = queue.takeFirst();
            if (node.isNull())
                continue;
            Element e;
            e.ref = node;
            e.parent = parent;
            e.name = property(node, QStringLiteral("Name")).toString();
            e.description = property(node, QStringLiteral("Description")).toString();
            e.childCount = property(node, QStringLiteral("ChildCount")).toInt();
            e.role = call(node, QStringLiteral("GetRoleName")).value(0).toString();
            const auto words = qdbus_cast<QList<uint>>(call(node, QStringLiteral("GetState")).value(0));
            e.states = quint64(words.value(0)) | (quint64(words.value(1)) << 32);
            const auto relations
                = qdbus_cast<QList<Atspi::Relation>>(call(node, QStringLiteral("GetRelationSet")).value(0));
            for (const Atspi::Relation& r : relations)
                if (r.type == relationLabelledBy)
                    for (const Atspi::ObjectRef& label : r.targets)
                        e.labels.append(property(label, QStringLiteral("Name")).toString());
            e.actions = actions(node);
            const int index = int(found.size());
            found.append(e);
            for (const Atspi::ObjectRef& child : children(node))
                queue.append({child, index});
        }
        return found;
    }

    // Performs the element's action of that name; false when it has none or the call failed.
    bool doAction(const Atspi::ObjectRef& object, const QString& name)
    {
        const int index = int(actions(object).indexOf(name));
        if (index < 0)
            return false;
        return call(object, QStringLiteral("DoAction"), actionInterface, {index}).value(0).toBool();
    }

private:
    inline static const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
    inline static const QString actionInterface = QStringLiteral("org.a11y.atspi.Action");

    QList<QVariant> call(const Atspi::ObjectRef& object, const QString& method,
        const QString& interface = accessibleInterface, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(object.service, object.path.path(), interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, 3000);
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments() : QList<QVariant>();
    }

    QVariant property(
        const Atspi::ObjectRef& object, const QString& name, const QString& interface = accessibleInterface)
    {
        const auto answer
            = call(object, QStringLiteral("Get"), QStringLiteral("org.freedesktop.DBus.Properties"), {interface, name});
        return answer.isEmpty() ? QVariant() : qvariant_cast<QDBusVariant>(answer.first()).variant();
    }

    QList<Atspi::ObjectRef> children(const Atspi::ObjectRef& object)
    {
        const auto answer = call(object, QStringLiteral("GetChildren"));
        return answer.isEmpty() ? QList<Atspi::ObjectRef>() : qdbus_cast<QList<Atspi::ObjectRef>>(answer.first());
    }

    QStringList actions(const Atspi::ObjectRef& object)
    {
        QStringList names;
        const int count = property(object, QStringLiteral("NActions"), actionInterface).toInt();
        for (int i = 0; i < count; ++i)
            names.append(call(object, QStringLiteral("GetName"), actionInterface, {i}).value(0).toString());
        return names;
    }

    std::optional<Atspi::ObjectRef> ownApplication(qint64 process)
    {
        const Atspi::ObjectRef root {QStringLiteral("org.a11y.atspi.Registry"),
            QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
        for (const Atspi::ObjectRef& app : children(root)) {
            QDBusMessage ask = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("GetConnectionUnixProcessID"));
            ask.setArguments({app.service});
            const QDBusMessage pid = m_bus.call(ask, QDBus::Block, 3000);
            if (pid.type() == QDBusMessage::ReplyMessage
                && pid.arguments().value(0).toLongLong() == process)
                return app;
        }
        return std::nullopt;
    }

    QString m_name;
    QDBusConnection m_bus {QString()};
};

// Runs the work with a reader on a thread of its own while this thread keeps answering for the
// application; false when no accessibility bus answers.
inline bool withReader(const std::function<void(Reader&)>& work)
{
    // The loop answers each call as it arrives; the reader ends it when done, and every call has
    // its timeout, so it ends.
    QEventLoop loop;
    bool connected = false;
    std::thread thread([&] {
        {
            Reader reader;
            connected = reader.connected();
            if (connected)
                work(reader);
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    thread.join();
    return connected;
}

// The whole tree; empty when no accessibility bus answers.
inline QList<Element> read()
{
    QList<Element> tree;
    withReader([&](Reader& reader) { tree = reader.read(); });
    return tree;
}

// The first element with that name (and role, when given).
inline std::optional<Element> named(const QList<Element>& tree, const QString& name, const QString& role = {})
{
    for (const Element& e : tree)
        if (e.name == name && (role.isEmpty() || e.role == role))
            return e;
    return std::nullopt;
}

// The index of the first element with that name and role, -1 when there is none.
inline int indexOf(const QList<Element>& tree, const QString& name, const QString& role)
{
    for (int i = 0; i < tree.size(); ++i)
        if (tree[i].name == name && tree[i].role == role)
            return i;
    return -1;
}

// The elements whose parent is the element at that index, in their order.
inline QList<Element> childrenOf(const QList<Element>& tree, int parent)
{
    QList<Element> found;
    for (const Element& e : tree)
        if (e.parent == parent && parent >= 0)
            found.append(e);
    return found;
}

} // namespace AtspiTree
