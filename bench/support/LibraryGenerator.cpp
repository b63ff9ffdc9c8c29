#include "bench/support/LibraryGenerator.h"

#include "ZubraCore/Capture/MarkdownSerializer.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"

#include <QRandomGenerator>

namespace LibraryGenerator {
namespace {

const QStringList words {
    QStringLiteral("context"),
    QStringLiteral("model"),
    QStringLiteral("token"),
    QStringLiteral("budget"),
    QStringLiteral("passage"),
    QStringLiteral("source"),
    QStringLiteral("library"),
    QStringLiteral("prompt"),
    QStringLiteral("the"),
    QStringLiteral("of"),
    QStringLiteral("and"),
    QStringLiteral("a"),
    QStringLiteral("caf\u00e9"),
    QStringLiteral("na\u00efve"),
    QStringLiteral("\u2014"),
    QStringLiteral("\u00fcber"),
    QStringLiteral("\"quoted\""),
    QStringLiteral("path/to"),
    QStringLiteral("x\\y"),
    QStringLiteral("42"),
};

QString sentence(QRandomGenerator& random, int length)
{
    QString text;
    text.reserve(length + 16);
    while (text.size() < length) {
        text += words[random.bounded(int(words.size()))];
        text += random.bounded(12) == 0 ? QStringLiteral(".\n") : QStringLiteral(" ");
    }
    return text;
}

// A passage from a web page as a browser puts it on the clipboard: paragraphs with links,
// emphasis and code throughout, now and then a list. Its text and markdown are what a capture
// keeps: the rendered text, and the converter's HTML turned into Markdown.
void fromPage(QRandomGenerator& random, int length, Selection& s)
{
    QString html = u"<meta charset=\"utf-8\"><p>"_qs;
    int rendered = 0;
    while (rendered < length) {
        const QString words = sentence(random, 40 + int(random.bounded(60))).trimmed();
        rendered += int(words.size()) + 1;
        QString escaped = words.toHtmlEscaped();
        escaped.replace(u'\n', u' ');
        switch (random.bounded(6)) {
        case 0:
            html += u"<a href=\"https://example.org/articles/"_qs + QString::number(random.bounded(5000))
                + u"?ref=feed\">"_qs + escaped + u"</a> "_qs;
            break;
        case 1:
            html += u"<strong>"_qs + escaped + u"</strong> "_qs;
            break;
        case 2:
            html += u"<em>"_qs + escaped + u"</em> "_qs;
            break;
        case 3:
            html += u"<code>"_qs + escaped.left(24) + u"</code> "_qs + escaped.mid(24) + u' ';
            break;
        case 4:
            html += u"</p><ul><li>"_qs + escaped + u"</li><li>"_qs + escaped.left(30) + u"</li></ul><p>"_qs;
            break;
        default:
            html += escaped + u' ';
            break;
        }
    }
    html += u"</p>"_qs;
    const std::optional<AttributedText> rich = OfflineHTMLConverter::convert(html.toUtf8());
    s.text = rich ? rich->text().trimmed() : sentence(random, length);
    s.setMarkdown(rich ? MarkdownSerializer::convert(*rich) : s.text);
}

// Markdown decorations across a passage, one every hundred or so characters: bold, emphasis,
// links and inline code, as in notes written in Markdown.
QString decorated(QRandomGenerator& random, const QString& text)
{
    QString markdown;
    markdown.reserve(text.size() + text.size() / 3);
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype plain = 40 + random.bounded(120);
        const qsizetype span = 8 + random.bounded(24);
        if (at + plain + span >= text.size()) {
            markdown += QStringView(text).sliced(at);
            break;
        }
        markdown += QStringView(text).sliced(at, plain);
        const QString inside = text.sliced(at + plain, span);
        switch (random.bounded(4)) {
        case 0:
            markdown += u"**"_qs + inside + u"**"_qs;
            break;
        case 1:
            markdown += u"*"_qs + inside + u'*';
            break;
        case 2:
            markdown += u"["_qs + inside + u"](https://example.org/notes/"_qs + QString::number(random.bounded(900))
                + u')';
            break;
        default:
            markdown += u"`"_qs + inside + u'`';
            break;
        }
        at += plain + span;
    }
    return markdown;
}

QUuid uuid(QRandomGenerator& random)
{
    quint32 parts[4];
    random.fillRange(parts);
    return QUuid(parts[0], ushort(parts[1]), ushort(parts[1] >> 16), uchar(parts[2]), uchar(parts[2] >> 8),
        uchar(parts[2] >> 16), uchar(parts[2] >> 24), uchar(parts[3]), uchar(parts[3] >> 8), uchar(parts[3] >> 16),
        uchar(parts[3] >> 24));
}

} // namespace

StoreSnapshot generate(int selections, quint32 seed)
{
    QRandomGenerator random(seed);
    const QDateTime start(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    StoreSnapshot snapshot;
    for (int g = 0; g < 20; ++g)
        snapshot.groups.append(SelectionGroup {
            uuid(random), QStringLiteral("Group ") + QString::number(g), QStringLiteral("#4F8EF7"), start.addDays(g)});
    snapshot.selections.reserve(selections);
    for (int n = 0; n < selections; ++n) {
        Selection s;
        s.id = uuid(random);
        // A third plain text, a third captured from web pages, a sixth with Markdown across the
        // passage and a sixth with one decoration near its start.
        const int length = 420 + int(random.bounded(160));
        switch (random.bounded(6)) {
        case 0:
        case 1:
            s.text = sentence(random, length);
            s.setMarkdown(s.text);
            break;
        case 2:
        case 3:
            fromPage(random, length, s);
            break;
        case 4:
            s.text = sentence(random, length);
            s.setMarkdown(decorated(random, s.text));
            break;
        default:
            s.text = sentence(random, length);
            s.setMarkdown(QStringLiteral("**") + s.text.left(40) + QStringLiteral("**") + s.text.mid(40));
            break;
        }
        switch (random.bounded(3)) {
        case 0:
            s.appName = QStringLiteral("Firefox");
            s.bundleID = QStringLiteral("org.mozilla.firefox");
            s.sourceURL = QStringLiteral("https://example.org/articles/") + QString::number(random.bounded(5000))
                + QStringLiteral("?ref=tessellon");
            s.sourceTitle = sentence(random, 30).trimmed();
            break;
        case 1:
            s.appName = QStringLiteral("Text Editor");
            s.bundleID = QStringLiteral("org.gnome.TextEditor");
            s.filePath = QStringLiteral("/home/user/Documents/notes-") + QString::number(random.bounded(300))
                + QStringLiteral(".md");
            break;
        default:
            s.appName = QStringLiteral("Terminal");
            break;
        }
        if (random.bounded(4) == 0)
            s.groupIDs.append(snapshot.groups[random.bounded(int(snapshot.groups.size()))].id);
        s.createdAt = start.addSecs(qint64(n) * 97);
        snapshot.selections.append(std::move(s));
    }
    QList<ContextDraft> drafts;
    for (int d = 0; d < 10; ++d) {
        ContextDraft draft {uuid(random), QStringLiteral("Prompt ") + QString::number(d + 1), sentence(random, 200),
            QStringLiteral("Sections"), QStringLiteral("gpt-4o"), start, start.addDays(1), {}};
        for (int e = 0; e < 20 && selections > 0; ++e)
            draft.entries.append(ContextDraftEntry {uuid(random), snapshot.selections[random.bounded(selections)].id,
                true, e == 0, false, std::nullopt, std::nullopt});
        drafts.append(std::move(draft));
    }
    snapshot.drafts = std::move(drafts);
    snapshot.activeDraftID = snapshot.drafts->first().id;
    return snapshot;
}

StoreSnapshot research(int selections, quint32 seed)
{
    QRandomGenerator random(seed);
    StoreSnapshot snapshot;
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    for (const QString& name : {u"Research"_qs, u"Reading"_qs, u"Work"_qs, u"Quotes"_qs, u"Code"_qs, u"Later"_qs})
        snapshot.groups.append(SelectionGroup {uuid(random), name, u"#4F8EF7"_qs, start});
    const QStringList apps {u"Firefox"_qs, u"Kate"_qs, u"Terminal"_qs, u"gedit"_qs, u"Chromium"_qs};
    snapshot.selections.reserve(selections);
    for (int n = 0; n < selections; ++n) {
        Selection s;
        // Identifiers numbered in sequence, as another tool may write them: Qt's hash of a QUuid
        // folds its fields together, so these all hash alike.
        s.id = QUuid(0x5E1EC7ED, ushort(n >> 16), ushort(n), 0x80, 0, 0, 0, 0, 0, 0, 0);
        for (int w = 0; w < 12; ++w)
            s.text += words[random.bounded(int(words.size()))] + u' ';
        s.text += u"item"_qs + QString::number(n);
        s.setMarkdown(s.text);
        s.appName = apps[n % apps.size()];
        if (n % 3 == 0)
            s.sourceURL = u"https://site"_qs + QString::number(n) + u".example.org/page"_qs + QString::number(n);
        else if (n % 3 == 1)
            s.filePath = u"/home/user/file"_qs + QString::number(n) + u".txt"_qs;
        if (n % 10 == 0)
            s.groupIDs.append(snapshot.groups.first().id);
        else if (n % 10 < snapshot.groups.size())
            s.groupIDs.append(snapshot.groups[n % 10].id);
        s.createdAt = start.addSecs(qint64(selections - 1 - n) * 60);
        snapshot.selections.append(std::move(s));
    }
    QList<ContextDraft> drafts;
    for (int d = 0; d < 2; ++d) {
        ContextDraft draft {uuid(random), u"Prompt "_qs + QString::number(d + 1), QString(), u"Sections"_qs,
            u"gpt-4o"_qs, start, start, {}};
        for (int n : {0, 5, 7}) {
            if (n < selections)
                draft.entries.append(ContextDraft::freshEntry(uuid(random), snapshot.selections[n].id));
        }
        drafts.append(std::move(draft));
    }
    snapshot.drafts = std::move(drafts);
    snapshot.activeDraftID = snapshot.drafts->first().id;
    return snapshot;
}

} // namespace LibraryGenerator
