#include "Platform/Posix/XdgAutostartLoginItems.h"

#include "Platform/AppIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace {

// An autostart entry is a few hundred bytes; anything far larger is not one of ours to parse.
constexpr qint64 maxEntryBytes = 64 * 1024;

// Characters after which an Exec argument must be quoted.
bool needsQuoting(QChar c)
{
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

// The escapes of a desktop-entry string value, applied after the Exec quoting.
QString escapedValue(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

bool isTrue(QByteArrayView value)
{
    return value.trimmed() == "true";
}

} // namespace

XdgAutostartLoginItems::XdgAutostartLoginItems(QString program)
    : m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program))
{
}

QString XdgAutostartLoginItems::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
        + QString::fromLatin1(AppIdentity::bundleIdentifier) + QStringLiteral(".desktop");
}

QString XdgAutostartLoginItems::quotedArgument(const QString& argument)
{
    QString text = argument;
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!text.isEmpty() && std::none_of(text.cbegin(), text.cend(), needsQuoting))
        return text;
    QString quoted = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QByteArray XdgAutostartLoginItems::entry(const QString& program)
{
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Tessellon\n"
                                        "Comment=Tessellon starts when you log in.\n"
                                        "Exec=")
        + escapedValue(quotedArgument(program))
        + QStringLiteral("\nIcon=") + QString::fromLatin1(AppIdentity::bundleIdentifier)
        + QStringLiteral("\nTerminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

LoginItems::Status XdgAutostartLoginItems::status()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxEntryBytes)
        return Status::notRegistered;
    // The desktop honours an entry unless its main group hides or disables it.
    bool inMainGroup = false;
    bool sawMainGroup = false;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0)
            continue;
        const QByteArray key = line.first(equals).trimmed();
        const QByteArrayView value = QByteArrayView(line).sliced(equals + 1);
        if (key == "Hidden" && isTrue(value))
            return Status::notRegistered;
        if (key == "X-GNOME-Autostart-enabled" && value.trimmed() == "false")
            return Status::notRegistered;
    }
    return sawMainGroup ? Status::enabled : Status::notRegistered;
}

std::optional<QString> XdgAutostartLoginItems::registerMainApp()
{
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Could not create the folder ") + folder;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Could not write ") + path + QStringLiteral(": ") + file.errorString();
    file.write(entry(m_program));
    if (!file.commit())
        return QStringLiteral("Could not write ") + path + QStringLiteral(": ") + file.errorString();
    return std::nullopt;
}

std::optional<QString> XdgAutostartLoginItems::unregisterMainApp()
{
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return std::nullopt;
    return QStringLiteral("Could not remove ") + file.fileName() + QStringLiteral(": ") + file.errorString();
}
