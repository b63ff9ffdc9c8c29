#include "Platform/X11/WindowDocument.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using namespace Qt::StringLiterals;

// Looks without opening: a FIFO, a socket or a device is never a document.
bool isRegularFile(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    if (local.isEmpty() || local.size() >= PATH_MAX || local.contains('\0'))
        return false;
    struct stat info;
    return ::stat(local.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// An absolute path or one below the home folder; empty for anything else.
QString expanded(const QString& text, const QString& home)
{
    if (text.startsWith(u'/'))
        return QDir::cleanPath(text);
    if (!home.isEmpty() && (text == u"~"_s || text.startsWith(u"~/"_s)))
        return QDir::cleanPath(home + text.mid(1));
    return {};
}

// Parenthesised folders looked at in one title.
constexpr int maxGroups = 8;

const QStringList separators {u" - "_s, u" \u2014 "_s, u" \u2013 "_s, u" | "_s};

// Without the marks editors put on unsaved documents.
QString unmarked(QString part)
{
    part = part.trimmed();
    while (part.startsWith(u'*') || part.startsWith(u'\u2022'))
        part = part.mid(1).trimmed();
    while (part.endsWith(u'*'))
        part.chop(1);
    return part.trimmed();
}

// A title's parts between the separators window titles use.
QStringList titleParts(const QString& title)
{
    QString marked = title;
    for (const QString& separator : separators)
        marked.replace(separator, QString(QChar(0x1)));
    QStringList parts;
    for (const QString& part : marked.split(QChar(0x1), Qt::SkipEmptyParts)) {
        if (const QString clean = unmarked(part); !clean.isEmpty())
            parts.append(clean);
    }
    return parts;
}

// The text before a position and each of its tails that starts after a separator, longest first:
// the name of "name (folder)" may itself hold a separator.
QStringList namesBefore(const QString& title, qsizetype end)
{
    const QString before = title.left(end);
    QStringList names {unmarked(before)};
    for (qsizetype at = 0; at < before.size(); ++at) {
        for (const QString& separator : separators) {
            if (QStringView(before).mid(at).startsWith(separator))
                names.append(unmarked(before.mid(at + separator.size())));
        }
    }
    return names;
}

bool isFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && name != u"."_s && name != u".."_s;
}

// Whether the title shows the name as a whole word: not as part of a longer name.
bool showsName(const QString& title, const QString& name)
{
    const auto joins = [](QChar c) { return c.isLetterOrNumber() || c == u'.' || c == u'_'; };
    for (qsizetype at = title.indexOf(name); at >= 0; at = title.indexOf(name, at + 1)) {
        const qsizetype end = at + name.size();
        if ((at == 0 || !joins(title[at - 1])) && (end == title.size() || !joins(title[end])))
            return true;
    }
    return false;
}
} // namespace

namespace WindowDocument {

std::optional<QString> fromTitle(const QString& title, const QString& home)
{
    if (title.isEmpty() || title.size() > maxTitleLength)
        return std::nullopt;
    QStringList candidates {expanded(title.trimmed(), home)};
    const QStringList parts = titleParts(title);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        candidates.append(expanded(part, home));
        // "name - folder".
        if (i + 1 < parts.size() && isFileName(part)) {
            const QString folder = expanded(parts[i + 1], home);
            if (!folder.isEmpty())
                candidates.append(folder + u'/' + part);
        }
    }
    // "name (folder)", as GTK editors show a document.
    int groups = 0;
    for (qsizetype open = title.indexOf(u" ("_s); open > 0 && groups < maxGroups;
         open = title.indexOf(u" ("_s, open + 2), ++groups) {
        const qsizetype close = title.indexOf(u')', open + 2);
        if (close < 0)
            break;
        const QString folder = expanded(title.mid(open + 2, close - open - 2).trimmed(), home);
        if (folder.isEmpty())
            continue;
        for (const QString& name : namesBefore(title, open)) {
            if (isFileName(name))
                candidates.append(folder + u'/' + name);
        }
    }
    for (const QString& candidate : std::as_const(candidates)) {
        if (!candidate.isEmpty() && isRegularFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<QString> fromOpenFiles(qint32 pid, const QString& title, const QString& proc)
{
    if (pid <= 0 || title.isEmpty() || title.size() > maxTitleLength)
        return std::nullopt;
    const QByteArray folder = QFile::encodeName(proc + u'/' + QString::number(pid) + u"/fd"_s);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return std::nullopt;
    std::optional<QString> best;
    int seen = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (++seen > maxOpenFiles)
            break;
        if (entry->d_name[0] == '.')
            continue;
        char target[PATH_MAX];
        const QByteArray link = folder + '/' + entry->d_name;
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        if (length <= 0 || target[0] != '/')
            continue; // a pipe, a socket, an anonymous file
        const QString path = QFile::decodeName(QByteArray(target, length));
        if (path.endsWith(u" (deleted)"_s) || path.startsWith(u"/proc/"_s) || path.startsWith(u"/sys/"_s)
            || path.startsWith(u"/dev/"_s))
            continue;
        const QString name = path.section(u'/', -1);
        if (!isFileName(name) || (best && best->section(u'/', -1).size() >= name.size()))
            continue;
        if (showsName(title, name) && isRegularFile(path))
            best = path;
    }
    ::closedir(dir);
    return best;
}

std::optional<QString> path(qint32 pid, const QString& title)
{
    if (auto named = fromTitle(title, QDir::homePath()))
        return named;
    return fromOpenFiles(pid, title);
}

} // namespace WindowDocument
