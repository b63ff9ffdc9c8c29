#pragma once
// The system clipboard as the capture and the copy commands see it: a list of items, each offering
// data under one or more types (MIME formats on Linux), and a change count that moves whenever the
// content or its owner changes, whoever wrote it.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <utility>

namespace PasteboardType {
// Plain text; every writer of plain text also sets the UTF-8 variant.
inline const QString plainText = QStringLiteral("text/plain");
inline const QString utf8PlainText = QStringLiteral("text/plain;charset=utf-8");
inline const QString tabularText = QStringLiteral("text/tab-separated-values");
inline const QString html = QStringLiteral("text/html");
// RTF goes by three names on this desktop; readers try them in this order.
inline const QString rtf = QStringLiteral("text/rtf");
inline const QStringList rtfAliases = {QStringLiteral("application/rtf"), QStringLiteral("text/richtext")};
inline const QString rtfd = QStringLiteral("application/x-rtfd");
// The address of the page a browser copied from.
inline const QString firefoxSourceURL = QStringLiteral("text/x-moz-url-priv"); // UTF-16
inline const QString chromiumSourceURL = QStringLiteral("chromium/x-source-url"); // UTF-8
// Set beside a copy by password managers (KeePassXC: "secret") so that clipboard tools leave the
// copy alone.
inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
} // namespace PasteboardType

class Pasteboard
{
public:
    // One item's data: type and bytes, in the order the item offers them.
    using ItemData = QList<std::pair<QString, QByteArray>>;

    enum class ReadStatus {
        ok, // the data arrived
        missing, // the type is not offered, or its owner gave no data for it
        timedOut, // the owner did not answer before the deadline
    };
    struct Read
    {
        Read() = default;
        Read(ReadStatus status, QByteArray data = {}, QString exactType = {})
            : status(status)
            , data(std::move(data))
            , exactType(std::move(exactType))
        {
        }

        ReadStatus status = ReadStatus::missing;
        QByteArray data;
        // The type to write the data back under, when it says more than the type asked for
        // (an exact read may name the encoding the owner answered with); empty: the same.
        QString exactType;
    };

    virtual ~Pasteboard();

    // Moves on every change of the content or its owner.
    virtual qint64 changeCount() = 0;
    // The types of each item, in order; no value when the pasteboard gives no item list in time.
    virtual std::optional<QList<QStringList>> itemTypes(QDeadlineTimer deadline) = 0;
    // One item's data for one type, waiting no longer than the deadline.
    virtual Read itemData(qsizetype item, const QString& type, QDeadlineTimer deadline) = 0;

    // Empties the pasteboard. False when that could not be done.
    virtual bool clearContents() = 0;
    // Replaces the content with these items, in order. False when they were not all written.
    virtual bool writeItems(const QList<ItemData>& items) = 0;
    // Empties the pasteboard and starts one item that will offer these types in this order once
    // their data is set. A declared type whose data is never set is not offered on X11.
    virtual void declareTypes(const QStringList& types) = 0;
    // Sets one type's data on the first item (starting one when there is none). False on failure.
    virtual bool setData(const QByteArray& data, const QString& type) = 0;

    // The content in the system's own terms, for a snapshot that a restore gives back byte for
    // byte. By default the operations above; a backend whose reads convert (Qt's format mapping
    // on X11) lists the owner's own types here and serves them again unchanged.
    virtual std::optional<QList<QStringList>> exactItemTypes(QDeadlineTimer deadline) { return itemTypes(deadline); }
    virtual Read exactItemData(qsizetype item, const QString& type, QDeadlineTimer deadline)
    {
        return itemData(item, type, deadline);
    }
    // Replaces the content with items of exact types. False when they were not all written.
    virtual bool writeExactItems(const QList<ItemData>& items) { return writeItems(items); }
    // The process that owns the content; zero when nobody does or it cannot be told.
    virtual qint32 ownerProcess() { return 0; }

    // Conveniences over the operations above, each bounded by readTimeout.
    static constexpr std::chrono::milliseconds readTimeout {2000};
    // Every item's types in order, without repeats; empty when there is no list.
    QStringList types();
    // The data of the first item that offers the type.
    std::optional<QByteArray> data(const QString& type);
    // The data as UTF-8 text; no value when missing or not valid UTF-8.
    std::optional<QString> string(const QString& type);
    bool setString(const QString& text, const QString& type) { return setData(text.toUtf8(), type); }
};
