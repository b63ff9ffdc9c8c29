#include "ZubraCore/Support/AppSettings.h"

#include "Platform/AppIdentity.h"
#include "Platform/RegularFile.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <system_error>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Settings kept for this process only: QSettings stands on a path below a device, where no
// folder and no file can ever be made, so every write-out fails before it touches a file.
class SessionSettings final : public QSettings
{
public:
    // problem: why the file at the path is not used; empty when that is no problem.
    SessionSettings(const QString& path, QString problem)
        : QSettings(u"/dev/null/"_s + QFileInfo(path).fileName(), QSettings::IniFormat)
        , problem(std::move(problem))
    {
    }

    const QString problem;
};

const QString notSaved = u": settings are not saved."_s;

// Where QSettings keeps the user-scope native file of the program's organisation.
QString scopePath(const char* application)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/'
        + QString::fromLatin1(AppIdentity::organisation) + u'/' + QString::fromLatin1(application) + u".conf"_s;
}

} // namespace

std::unique_ptr<QSettings> AppSettings::openDefault()
{
    return openPrivate(scopePath(AppIdentity::applicationName));
}

std::unique_ptr<QSettings> AppSettings::openPrivate(const QString& path)
{
    const std::optional<RegularFile::PrivateFileProblem> problem = RegularFile::preparePrivateFile(path);
    if (!problem)
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    QString why;
    switch (*problem) {
    case RegularFile::PrivateFileProblem::link:
        why = u" is a link"_s;
        break;
    case RegularFile::PrivateFileProblem::notAFile:
        why = u" is not a file"_s;
        break;
    case RegularFile::PrivateFileProblem::otherOwner:
        why = u" belongs to another user"_s;
        break;
    case RegularFile::PrivateFileProblem::notCreated:
        why = u" cannot be written"_s;
        break;
    }
    return std::make_unique<SessionSettings>(path, u"The settings file "_s + path + why + notSaved);
}

std::unique_ptr<QSettings> AppSettings::openLegacy()
{
    // Only read: a regular file, also through a link; anything else (a pipe would block the
    // read for ever) counts as no earlier settings.
    const QString path = scopePath(AppIdentity::legacyApplicationName);
    if (!RegularFile::isRegularFile(path))
        return std::make_unique<SessionSettings>(path, QString());
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString AppSettings::lastExportFolder() const
{
    const QVariant value = m_settings->value(lastExportFolderKey);
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString folder = value.toString();
    return folder.size() > 4096 ? QString() : folder;
}

bool AppSettings::collectIntoActiveDraft() const
{
    const QVariant value = m_settings->value(collectIntoActiveDraftKey);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    return text == u"true" || text == u"1";
}

void AppSettings::setCollectIntoActiveDraft(bool collect)
{
    m_settings->setValue(collectIntoActiveDraftKey, collect);
    m_settings->sync();
}

void AppSettings::setChangedValue(const QString& key, const QVariant& value)
{
    if (m_settings->value(key) != value)
        m_settings->setValue(key, value);
}

std::future<void> AppSettings::syncApart() const
{
    const auto sync = [settings = m_settings] { settings->sync(); };
    try {
        return std::async(std::launch::async, sync);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, sync); // no thread to be had: written on waiting
    }
}

QString AppSettings::unreadableCustomPromptTemplatesKeyFor(int n)
{
    return n <= 1 ? unreadableCustomPromptTemplatesKey : unreadableCustomPromptTemplatesKey + u'-' + QString::number(n);
}

std::optional<QString> AppSettings::storageProblem() const
{
    if (const auto* session = dynamic_cast<const SessionSettings*>(m_settings); session && !session->problem.isEmpty())
        return session->problem;
    m_settings->sync();
    const QString path = m_settings->fileName();
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return QStringLiteral("The settings file ") + path + QStringLiteral(" is not a file") + notSaved;
    if (file.exists() && ::access(QFile::encodeName(path).constData(), R_OK) != 0)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be read") + notSaved;
    // A missing file is made in its folder, and missing folders in the nearest one that exists:
    // that one must be a folder this process may write to.
    QString nearest = path;
    while (!QFileInfo::exists(nearest) && QFileInfo(nearest).absolutePath() != nearest)
        nearest = QFileInfo(nearest).absolutePath();
    const bool writable = nearest == path ? ::access(QFile::encodeName(path).constData(), W_OK) == 0
                                          : QFileInfo(nearest).isDir()
            && ::access(QFile::encodeName(nearest).constData(), W_OK | X_OK) == 0;
    if (!writable || m_settings->status() == QSettings::AccessError)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be written") + notSaved;
    if (m_settings->status() == QSettings::FormatError)
        return QStringLiteral("The settings file ") + path + QStringLiteral(" cannot be read") + notSaved;
    return std::nullopt;
}
