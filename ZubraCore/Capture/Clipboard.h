#pragma once
// Every read and write of the system clipboard that Tessellon makes: the snapshot the capture
// takes before its simulated copy and puts back afterwards, the reads of what the copy produced
// (plain text, rich text, the title of an HTML page), and the writers of every copy command.

#include "Platform/Pasteboard.h"
#include "ZubraCore/Capture/AttributedText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <utility>

namespace Clipboard {

// The whole clipboard at one moment: per item, every type with its bytes, in the item's order.
struct PasteboardSnapshot
{
    using Item = QList<std::pair<QString, QByteArray>>;
    QList<Item> items;
    // False when the item list or some type's data did not arrive within the budget, or the
    // content was too large to hold: such a snapshot cannot be restored.
    bool complete = true;
    // Incomplete because the owner did not answer in time (else: because of the size caps).
    bool ownerSilent = false;

    friend bool operator==(const PasteboardSnapshot&, const PasteboardSnapshot&) = default;
};

// The whole snapshot must arrive within this time; an owner that never answers cannot hold the
// capture for long.
inline constexpr std::chrono::milliseconds snapshotBudget {3000};
// An owner lists its types within milliseconds; one that has not within this time is not
// answering, and the snapshot ends there.
inline constexpr std::chrono::milliseconds typeListBudget {1000};
// A snapshot holds at most this many bytes in all.
inline constexpr qsizetype maxSnapshotBytes = 256 * 1024 * 1024;
// The title reader and parser refuse larger HTML.
inline constexpr qsizetype maxTitleHtmlBytes = 1048576;

PasteboardSnapshot snapshot(Pasteboard& pasteboard, std::chrono::milliseconds budget = snapshotBudget);
// True when the pasteboard again holds the snapshot. An incomplete snapshot, or an item without
// any data, is refused before anything is cleared.
bool restore(const PasteboardSnapshot& snapshot, Pasteboard& pasteboard);

qint64 changeCount(Pasteboard& pasteboard);
QStringList availableTypes(Pasteboard& pasteboard);
// The plain text, else the tabular text.
std::optional<QString> plainText(Pasteboard& pasteboard);
// The HTML (converted), else the RTF, else the RTFD on the pasteboard.
std::optional<AttributedText> richAttributedString(Pasteboard& pasteboard);
std::optional<AttributedText> attributedString(const QByteArray& html);
// The pasteboard's HTML as UTF-8.
std::optional<QByteArray> htmlData(Pasteboard& pasteboard);
std::optional<QString> htmlTitle(Pasteboard& pasteboard);
std::optional<QString> parsePageTitle(const QString& html);
// The address of the page a browser copied from, from the type the browser adds to every copy
// (Firefox: UTF-16, Chromium: UTF-8): exactly as given, trimmed; no value when absent, not
// validly encoded, or not a single http, https or file address.
std::optional<QString> browserSourceURL(Pasteboard& pasteboard);
std::optional<QString> parseSourceURL(const QByteArray& bytes, bool utf16);
// Whether the content is marked as a password (the password managers' hint with any value but an
// empty one, or a hint whose owner did not answer): nothing else of it is read.
bool isMarkedAsPassword(Pasteboard& pasteboard);
inline constexpr qsizetype maxSourceURLBytes = 16 * 1024;

// HTML offered as UTF-16 (with or without a byte-order mark) becomes UTF-8; anything else is
// returned unchanged.
QByteArray htmlAsUtf8(const QByteArray& html);

// The Markdown as plain text, with its HTML rendition beside it.
void writeMarkdown(const QString& markdown, Pasteboard& pasteboard);
// The HTML rendition of a Markdown text: a complete document; nothing for the empty text.
std::optional<QByteArray> htmlData(const QString& markdown);
// The text as plain text alone (both plain-text types); any earlier HTML is gone.
void writePlain(const QString& text, Pasteboard& pasteboard);

} // namespace Clipboard
