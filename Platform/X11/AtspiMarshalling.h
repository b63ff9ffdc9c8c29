#pragma once
// The AT-SPI structures spoken over D-Bus, with their QtDBus marshalling: a reference to an
// accessible object ("(so)") and a relation with its targets ("(ua(so))"). The accessibility
// reader and the tests that read the program's own tree both speak through these.

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QString>

namespace Atspi {

inline const QString nullPath = QStringLiteral("/org/a11y/atspi/null");

// A reference to an accessible object: the bus name of its application and its path.
struct ObjectRef
{
    QString service;
    QDBusObjectPath path;
    bool isNull() const { return service.isEmpty() || path.path().isEmpty() || path.path() == nullPath; }
};

// One relation of an object (its AT-SPI relation type) and the objects it points at.
struct Relation
{
    uint type = 0;
    QList<ObjectRef> targets;
};

inline QDBusArgument& operator<<(QDBusArgument& argument, const ObjectRef& ref)
{
    argument.beginStructure();
    argument << ref.service << ref.path;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, ObjectRef& ref)
{
    argument.beginStructure();
    argument >> ref.service >> ref.path;
    argument.endStructure();
    return argument;
}

inline QDBusArgument& operator<<(QDBusArgument& argument, const Relation& relation)
{
    argument.beginStructure();
    argument << relation.type << relation.targets;
    argument.endStructure();
    return argument;
}

inline const QDBusArgument& operator>>(const QDBusArgument& argument, Relation& relation)
{
    argument.beginStructure();
    argument >> relation.type >> relation.targets;
    argument.endStructure();
    return argument;
}

// Makes the structures known to QtDBus; once per process, from any thread.
void registerTypes();

} // namespace Atspi

Q_DECLARE_METATYPE(Atspi::ObjectRef)
Q_DECLARE_METATYPE(Atspi::Relation)

inline void Atspi::registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<ObjectRef>();
        qDBusRegisterMetaType<QList<ObjectRef>>();
        qDBusRegisterMetaType<Relation>();
        qDBusRegisterMetaType<QList<Relation>>();
        return true;
    }();
    Q_UNUSED(registered);
}
