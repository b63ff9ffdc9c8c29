#include "bench/support/LibraryGenerator.h"

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
        s.text = sentence(random, 420 + random.bounded(160));
        s.setMarkdown(random.bounded(3) == 0
                ? s.text
                : QStringLiteral("**") + s.text.left(40) + QStringLiteral("**") + s.text.mid(40));
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

} // namespace LibraryGenerator
