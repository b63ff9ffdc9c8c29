#include "Zubra/Composer/ComposerState.h"

#include "ZubraCore/Support/AppSettings.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <linux/magic.h>
#include <sys/vfs.h>

using namespace Qt::StringLiterals;

namespace {

// Names and draws files by their names alone. The standard provider asks the MIME database, which
// reads a file without a known extension; on /proc such a read may wait forever, holding the
// database's lock that the window's own thread needs next.
class NameOnlyIconProvider final : public QAbstractFileIconProvider
{
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override
    {
        if (!info.isFile())
            return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
        const QIcon themed = QIcon::fromTheme(byName(info).iconName());
        return themed.isNull() ? QAbstractFileIconProvider::icon(File) : themed;
    }
    QString type(const QFileInfo& info) const override
    {
        if (!info.isFile())
            return QAbstractFileIconProvider::type(info);
        const QMimeType mime = byName(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType byName(const QFileInfo& info) const
    {
        return m_types.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
    QMimeDatabase m_types;
};

} // namespace

bool DialogExportFileChooser::isSpecialFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    // Device nodes: /dev is a tmpfs like any other by its type, so it goes by its place.
    if (canonical == u"/dev"_s || canonical.startsWith(u"/dev/"_s))
        return true;
    struct statfs info
    {
    };
    if (canonical.isEmpty() || ::statfs(QFile::encodeName(canonical).constData(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    default:
        return false;
    }
}

QString DialogExportFileChooser::startFolder() const
{
    if (m_settings) {
        const QString last = AppSettings(*m_settings).lastExportFolder();
        if (!last.isEmpty() && QFileInfo(last).isDir() && !isSpecialFolder(last))
            return last;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

std::optional<QString> DialogExportFileChooser::chooseFile(
    QWidget* parent, const QString& title, const QString& suggestedName)
{
    NameOnlyIconProvider icons; // outlives the dialog, which does not own it
    QFileDialog dialog(parent, title, startFolder());
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(u"Markdown text (*.md)"_s);
    dialog.setDefaultSuffix(u"md"_s);
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void DialogExportFileChooser::exported(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (m_settings && !isSpecialFolder(folder))
        AppSettings(*m_settings).setLastExportFolder(folder);
}

void ComposerState::setUsePreamble(bool on)
{
    if (m_usePreamble == on)
        return;
    m_usePreamble = on;
    emit usePreambleChanged();
}

void ComposerState::setShowCopied(bool on)
{
    if (m_showCopied == on)
        return;
    m_showCopied = on;
    emit showCopiedChanged();
}

void ComposerState::setExportError(const std::optional<QString>& error)
{
    if (m_exportError == error)
        return;
    m_exportError = error;
    emit exportErrorChanged();
}

void ComposerState::setNotice(const std::optional<QString>& notice)
{
    if (m_notice == notice)
        return;
    m_notice = notice;
    emit noticeChanged();
}
