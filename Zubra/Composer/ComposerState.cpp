#include "Zubra/Composer/ComposerState.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

std::optional<QString> DialogExportFileChooser::chooseFile(
    QWidget* parent, const QString& title, const QString& suggestedName)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(u"Markdown text (*.md)"_s);
    dialog.setDefaultSuffix(u"md"_s);
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
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
