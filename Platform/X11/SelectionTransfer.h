#pragma once
// X selections byte for byte: reading every target an owner offers exactly as it answers
// (incremental transfers included), and owning a selection to serve saved targets again with
// exactly their bytes, property types and formats.
//
// Readers work on a connection of their own, from any one thread at a time. The keeper runs a
// thread with its own connection and serves until another client takes the selection.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

class XcbConnection;

namespace SelectionTransfer {

// One target's answer: the property type and format the owner used, and the bytes.
struct Data
{
    QString target;
    QString type; // the property type's name
    quint8 format = 8;
    QByteArray bytes;

    friend bool operator==(const Data&, const Data&) = default;
};

// Targets that describe the selection rather than carry its content; never saved or served as data.
bool isMetaTarget(const QString& target);

// A saved target as one string for a pasteboard type: the target name, followed by the type and
// format the owner answered with when they differ from the target and 8 ("TEXT\nUTF8_STRING\n8").
QString typeKey(const Data& data);
// The target, type and format of a type key; nothing when the key is malformed.
std::optional<Data> fromTypeKey(const QString& key, const QByteArray& bytes);

class Reader
{
public:
    // Opens its own connection to $DISPLAY; every read fails when there is none.
    Reader();
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The targets the owner of the selection offers, in its order; empty when nobody owns it,
    // nothing when the owner did not answer in time.
    std::optional<QList<QString>> targets(xcb_atom_t selection, QDeadlineTimer deadline);
    // One target's data; nothing when refused, not answered in time, or over maxBytes.
    std::optional<Data> read(
        xcb_atom_t selection, const QString& target, QDeadlineTimer deadline, qsizetype maxBytes = 256 * 1024 * 1024);
    xcb_atom_t atom(const char* name);

private:
    bool request(xcb_atom_t selection, xcb_atom_t target, QDeadlineTimer deadline, bool& refused);
    std::optional<QByteArray> incremental(
        xcb_atom_t& type, quint8& format, QDeadlineTimer deadline, qsizetype maxBytes);
    xcb_generic_event_t* waitFor(uint8_t responseType, QDeadlineTimer deadline);

    std::shared_ptr<XcbConnection> m_x;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    QHash<xcb_atom_t, QString> m_names;
};

// Owns a selection for the data given, from a thread of its own; one per process.
class Keeper
{
public:
    static Keeper& instance();
    // Takes the selection and serves exactly these targets (plus TARGETS and TIMESTAMP). True
    // once this process owns it. An empty list takes the selection with no content.
    bool own(const QString& selection, const QList<Data>& targets, QDeadlineTimer deadline);
    // True while the keeper still owns the selection it last took.
    bool owns();
    ~Keeper();

private:
    Keeper();
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace SelectionTransfer
