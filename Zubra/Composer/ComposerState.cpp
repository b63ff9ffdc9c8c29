#include "Zubra/Composer/ComposerState.h"

#include "ZubraCore/Support/AppSettings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString DialogExportFileChooser::startFolder() const
{
    if (m_settings) {
        const QString last = AppSettings(*m_settings).lastExportFolder();
        if (!last.isEmpty() && QFileInfo(last).isDir())
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
    QFileDialog dialog(parent, title, startFolder());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(u"Markdown text (*.md)"_s);
    dialog.setDefaultSuffix(u"md"_s);
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().constFirst();
    if (m_settings)
        AppSettings(*m_settings).setLastExportFolder(QFileInfo(chosen).absolutePath());
    return chosen;
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
