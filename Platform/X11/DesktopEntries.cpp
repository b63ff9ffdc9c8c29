#include "Platform/X11/DesktopEntries.h"

#include "Platform/RegularFile.h"
#include "Platform/Workspace.h"

#include <QCryptographicHash>
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
#include <QStandardPaths>

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

// What the folders hold: every entry file and sub-folder with its size and modification time.
// A file added, removed or rewritten changes it, even within the clock's granularity.
QByteArray folderSignature(const QStringList& directories)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    int budget = kMaxEntriesScanned;
    for (const QString& dir : directories) {
        hash.addData(dir.toUtf8());
        hash.addData(QByteArrayView("\0", 1));
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext() && budget-- > 0) {
            const QString path = it.next();
            const QFileInfo info = it.fileInfo();
            hash.addData(path.toUtf8());
            hash.addData(QByteArray::number(info.size()) + ' '
                + QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + '\n');
        }
    }
    return hash.result();
}

// The program an Exec value starts: its first word, unquoted; "env" and its assignments skipped.
QString programOf(const QString& exec)
{
    QStringList words;
    QString word;
    bool quoted = false, inWord = false;
    for (qsizetype i = 0; i < exec.size() && words.size() < 16; ++i) {
        const QChar c = exec[i];
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == u'\\' && quoted && i + 1 < exec.size()) {
            word += exec[++i];
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    qsizetype first = 0;
    if (!words.isEmpty() && words.first().section(u'/', -1) == QLatin1String("env")) {
        first = 1;
        while (first < words.size() && words[first].contains(u'=') && !words[first].startsWith(u'-'))
            ++first;
    }
    return words.value(first);
}

struct Index
{
    QStringList directories;
    QByteArray signature;
    QList<DesktopEntries::Entry> entries;
};
} // namespace

namespace DesktopEntries {

QList<Entry> all(const QStringList& directories)
{
    static QMutex mutex;
    static std::optional<Index> index;
    const QMutexLocker locker(&mutex);
    const QByteArray signature = folderSignature(directories);
    if (index && index->directories == directories && index->signature == signature)
        return index->entries;

    Index built;
    built.directories = directories;
    built.signature = signature;
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
    // Anyone can drop a file in the user's applications folder: a pipe or device there must not
    // stall the caller, so only a regular file is read, without blocking and within the cap.
    const std::optional<QByteArray> bytes = RegularFile::read(path, kMaxEntryBytes);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes, id);
}

std::optional<Entry> parse(const QByteArray& bytes, const QString& id)
{
    const QLocale locale;
    const QString full = locale.name(); // "de_DE"
    const QString language = full.section(u'_', 0, 0); // "de"
    QString name, nameFull, nameLanguage, wmClass, type, icon, exec;
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
        else if (key == QLatin1String("Exec"))
            exec = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
    }
    if (hidden || type != QLatin1String("Application") || name.isEmpty())
        return std::nullopt;
    Entry entry;
    entry.id = id;
    entry.name = !nameFull.isEmpty() ? nameFull : !nameLanguage.isEmpty() ? nameLanguage : name;
    entry.name = RunningApplication::boundedName(entry.name);
    entry.startupWMClass = wmClass;
    entry.icon = icon;
    entry.program = programOf(exec);
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

bool runsProgram(const Entry& entry, const QStringList& processPrograms)
{
    if (entry.program.isEmpty() || processPrograms.isEmpty())
        return false;
    const QString name = entry.program.section(u'/', -1);
    for (const QString& program : processPrograms) {
        if (!program.isEmpty() && program.section(u'/', -1) == name)
            return true;
    }
    const QString found = entry.program.startsWith(u'/') ? entry.program : QStandardPaths::findExecutable(name);
    const QString resolved = found.isEmpty() ? QString() : QFileInfo(found).canonicalFilePath();
    return !resolved.isEmpty() && processPrograms.contains(resolved);
}

std::optional<Entry> forWindowClass(const QString& instance, const QString& className, const QStringList& directories,
    const QStringList& processPrograms)
{
    if (instance.isEmpty() && className.isEmpty())
        return std::nullopt;
    const auto matches = [&](const QString& s, Qt::CaseSensitivity cs) {
        return !s.isEmpty()
            && ((!className.isEmpty() && s.compare(className, cs) == 0)
                || (!instance.isEmpty() && s.compare(instance, cs) == 0));
    };
    // Entries that declare the class come before those that merely share its name; within each
    // kind, the first in lookup order unless a later one starts the window's own program.
    QList<Entry> declaring, byName;
    for (const Entry& entry : all(directories)) {
        if (matches(entry.startupWMClass, Qt::CaseSensitive))
            declaring.append(entry);
        else if (matches(entry.id, Qt::CaseInsensitive) || matches(entry.id.section(u'.', -1), Qt::CaseInsensitive))
            byName.append(entry);
    }
    for (const QList<Entry>* candidates : {&declaring, &byName}) {
        if (candidates->isEmpty())
            continue;
        for (const Entry& entry : *candidates) {
            if (runsProgram(entry, processPrograms))
                return entry;
        }
        return candidates->first();
    }
    return std::nullopt;
}

} // namespace DesktopEntries
