#include "Platform/X11/DesktopEntries.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

namespace {
constexpr qint64 kMaxEntryBytes = 256 * 1024;
constexpr int kMaxEntriesScanned = 5000;
constexpr int kMaxDepth = 4;

QString unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value[++i];
        if (n == u's')
            out += u' ';
        else if (n == u'n')
            out += u'\n';
        else if (n == u't')
            out += u'\t';
        else if (n == u'r')
            out += u'\r';
        else
            out += n;
    }
    return out;
}

// Every entry file below one applications folder, with its id.
template <typename Visit> bool forEachEntry(const QStringList& directories, int& budget, Visit visit)
{
    for (const QString& dir : directories) {
        const QString base = QDir(dir).absolutePath() + u'/';
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
            QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext() && budget > 0) {
            const QString path = it.next();
            if (!path.startsWith(base))
                continue;
            QString relative = path.mid(base.size());
            if (relative.count(u'/') > kMaxDepth)
                continue;
            --budget;
            relative.chop(8); // ".desktop"
            relative.replace(u'/', u'-');
            if (visit(path, relative))
                return true;
        }
    }
    return false;
}
// The folders' modification times, to see whether an index is still current.
using FolderTimes = QHash<QString, QDateTime>;

FolderTimes folderTimes(const QStringList& directories)
{
    FolderTimes times;
    for (const QString& dir : directories) {
        times.insert(dir, QFileInfo(dir).lastModified());
        QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext() && times.size() < 512) {
            const QString sub = it.next();
            if (sub.count(u'/') - dir.count(u'/') <= kMaxDepth)
                times.insert(sub, QFileInfo(sub).lastModified());
        }
    }
    return times;
}

bool unchanged(const FolderTimes& times)
{
    for (auto it = times.cbegin(); it != times.cend(); ++it)
        if (QFileInfo(it.key()).lastModified() != it.value())
            return false;
    return true;
}

struct Index
{
    QStringList directories;
    FolderTimes times;
    QList<DesktopEntries::Entry> entries;
};
} // namespace

namespace DesktopEntries {

QList<Entry> all(const QStringList& directories)
{
    static QMutex mutex;
    static std::optional<Index> index;
    const QMutexLocker locker(&mutex);
    // A folder created after the index was built changes its parent's time, or is a missing root.
    if (index && index->directories == directories && unchanged(index->times))
        return index->entries;

    Index built;
    built.directories = directories;
    built.times = folderTimes(directories);
    QSet<QString> seen;
    int budget = kMaxEntriesScanned;
    forEachEntry(directories, budget, [&](const QString& path, const QString& id) {
        if (seen.contains(id))
            return false;
        if (auto entry = read(path, id)) {
            seen.insert(id);
            built.entries.append(*entry);
        }
        return false;
    });
    index = std::move(built);
    return index->entries;
}

QStringList applicationDirectories()
{
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    dirs.append(home + QStringLiteral("/applications"));
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : system.split(u':', Qt::SkipEmptyParts))
        dirs.append(d + QStringLiteral("/applications"));
    dirs.removeDuplicates();
    return dirs;
}

std::optional<Entry> read(const QString& path, const QString& id)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(kMaxEntryBytes + 1);
    if (bytes.size() > kMaxEntryBytes)
        return std::nullopt;

    const QLocale locale;
    const QString full = locale.name(); // "de_DE"
    const QString language = full.section(u'_', 0, 0); // "de"
    QString name, nameFull, nameLanguage, wmClass, type, icon;
    bool inMain = false, hidden = false;
    for (const QByteArray& rawLine : bytes.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescape(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Name"))
            name = value;
        else if (key == QStringLiteral("Name[") + full + u']')
            nameFull = value;
        else if (key == QStringLiteral("Name[") + language + u']')
            nameLanguage = value;
        else if (key == QLatin1String("StartupWMClass"))
            wmClass = value;
        else if (key == QLatin1String("Icon"))
            icon = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
    }
    if (hidden || type != QLatin1String("Application") || name.isEmpty())
        return std::nullopt;
    Entry entry;
    entry.id = id;
    entry.name = !nameFull.isEmpty() ? nameFull : !nameLanguage.isEmpty() ? nameLanguage : name;
    entry.startupWMClass = wmClass;
    entry.icon = icon;
    return entry;
}

std::optional<Entry> byId(const QString& id, const QStringList& directories)
{
    QString wanted = id;
    if (wanted.endsWith(QLatin1String(".desktop")))
        wanted.chop(8);
    if (wanted.isEmpty() || wanted.size() > 255 || wanted.contains(QLatin1String("..")))
        return std::nullopt;
    // Direct lookups first (the usual case), then ids that stand for sub-folders.
    for (const QString& dir : directories) {
        const QString path = dir + u'/' + wanted + QStringLiteral(".desktop");
        if (QFile::exists(path))
            if (auto entry = read(path, wanted))
                return entry;
    }
    for (const Entry& entry : all(directories))
        if (entry.id == wanted)
            return entry;
    return std::nullopt;
}

std::optional<Entry> forWindowClass(const QString& instance, const QString& className, const QStringList& directories)
{
    if (instance.isEmpty() && className.isEmpty())
        return std::nullopt;
    const auto matches = [&](const QString& s, Qt::CaseSensitivity cs) {
        return !s.isEmpty()
            && ((!className.isEmpty() && s.compare(className, cs) == 0)
                || (!instance.isEmpty() && s.compare(instance, cs) == 0));
    };
    std::optional<Entry> byName;
    for (const Entry& entry : all(directories)) {
        if (matches(entry.startupWMClass, Qt::CaseSensitive))
            return entry;
        if (!byName && (matches(entry.id, Qt::CaseInsensitive) || matches(entry.id.section(u'.', -1), Qt::CaseInsensitive)))
            byName = entry;
    }
    return byName;
}

} // namespace DesktopEntries
