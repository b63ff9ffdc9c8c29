#include "support/LibraryFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace LibraryFixtures {

QUuid id(int family, int n)
{
    return QUuid(
        uint(0x10000000 + family), ushort(n >> 16), ushort(n & 0xFFFF), 0x4A, 0x5B, 0x6C, 0x7D, 0x8E, 0x9F, 0xA0, 0xB1);
}

QDateTime time(int n)
{
    return QDateTime(QDate(2025, 3, 14), QTime(9, 0, 0), Qt::UTC).addSecs(qint64(n) * 60);
}

Selection selection(int n, int textSize)
{
    QString text = QStringLiteral("Passage ") + QString::number(n) + QStringLiteral(": caf\u00e9 \u2014 \U0001F600 ");
    while (text.size() < textSize)
        text += QStringLiteral("lorem ipsum \"quoted\" \\ line\n");
    Selection s;
    s.id = id(1, n);
    s.text = text;
    s.setMarkdown(n % 3 == 0 ? text : QStringLiteral("**") + text + QStringLiteral("**"));
    s.appName = n % 2 == 0 ? QStringLiteral("Firefox") : QStringLiteral("Text Editor");
    if (n % 2 == 0) {
        s.bundleID = QStringLiteral("org.mozilla.firefox");
        s.sourceURL = QStringLiteral("https://example.org/page/") + QString::number(n % 50) + QStringLiteral("?q=a b");
        s.sourceTitle = QStringLiteral("Page ") + QString::number(n % 50);
    } else if (n % 4 == 1) {
        s.filePath = QStringLiteral("/home/user/notes/") + QString::number(n % 20) + QStringLiteral(".txt");
    }
    if (n % 5 == 0)
        s.groupIDs = {id(2, 0)};
    if (n % 10 == 0)
        s.groupIDs.append(id(2, 1));
    s.createdAt = time(n);
    return s;
}

StoreSnapshot snapshot(int selections, int textSize)
{
    StoreSnapshot result;
    for (int n = 0; n < selections; ++n)
        result.selections.append(selection(n, textSize));
    result.groups = {SelectionGroup {id(2, 0), QStringLiteral("Research"), QStringLiteral("#4F8EF7"), time(-10)},
        SelectionGroup {id(2, 1), QStringLiteral("To read"), QStringLiteral("not a colour"), time(-9)}};
    ContextDraft first {id(3, 0), QStringLiteral("Prompt 1"), QStringLiteral("Summarise."), QStringLiteral("Sections"),
        QStringLiteral("gpt-4o"), time(-5), time(-4), {}};
    for (int n = 0; n < qMin(selections, 3); ++n)
        first.entries.append(ContextDraftEntry {id(4, n), id(1, n), n != 1, n == 2, n == 0,
            n == 1 ? std::optional<QString>(QStringLiteral("note")) : std::nullopt,
            n == 2 ? std::optional<QString>(QStringLiteral("edited")) : std::nullopt});
    ContextDraft second {id(3, 1), QStringLiteral("Prompt 2"), QString(), QStringLiteral("XML-tagged"),
        QStringLiteral("unknown-model"), time(-3), time(-2), {}};
    result.drafts = QList<ContextDraft> {first, second};
    result.activeDraftID = id(3, 0);
    return result;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace LibraryFixtures
