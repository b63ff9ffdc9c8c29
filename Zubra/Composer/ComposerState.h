#pragma once
// What the composer's two panes share and what they need from outside: the switches and messages
// both panes see at once, and the services behind the copy and export commands.

#include <QObject>
#include <QSettings>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class FileSystem;
class Pasteboard;
class QWidget;

// Asks the user where to export a prompt; no value when the user cancels.
class ExportFileChooser
{
public:
    virtual ~ExportFileChooser() = default;
    virtual std::optional<QString> chooseFile(QWidget* parent, const QString& title, const QString& suggestedName) = 0;
    // The prompt was written to `path`, chosen here.
    virtual void exported(const QString& path) { Q_UNUSED(path) }
};

// The real chooser: the desktop's save dialog, for Markdown text. It opens in the folder of the
// last successful export, else the user's documents folder, else the home folder; never the
// working directory the program happened to start in, and never a folder of a kernel file system
// (/proc, /sys, /dev …), whose files may block whoever reads them. The dialog itself reads no
// file's contents: it names and draws files by their names alone.
class DialogExportFileChooser final : public ExportFileChooser
{
public:
    // The settings keep the last export's folder; they must outlive the chooser. None: nothing
    // is remembered.
    explicit DialogExportFileChooser(QSettings* settings = nullptr)
        : m_settings(settings)
    {
    }
    std::optional<QString> chooseFile(QWidget* parent, const QString& title, const QString& suggestedName) override;
    void exported(const QString& path) override;
    QString startFolder() const;
    // Whether the folder lies on a kernel's pseudo file system rather than on storage.
    static bool isSpecialFolder(const QString& folder);

private:
    QSettings* m_settings;
};

struct ComposerServices
{
    Pasteboard* pasteboard = nullptr; // the general clipboard
    std::shared_ptr<FileSystem> files; // exports are written through it, atomically
    std::shared_ptr<ExportFileChooser> chooser;
    QSettings* templateDefaults = nullptr; // where custom task templates live
    std::function<QString()> hotkeyDisplay; // the capture shortcut as it reads now
    bool reduceMotion = false; // no such desktop setting here; the views animate nothing anyway
};

// The four values both panes read and write; each change is announced once.
class ComposerState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool usePreamble() const { return m_usePreamble; }
    bool showCopied() const { return m_showCopied; }
    const std::optional<QString>& exportError() const { return m_exportError; }
    const std::optional<QString>& notice() const { return m_notice; }

    void setUsePreamble(bool on);
    void setShowCopied(bool on);
    void setExportError(const std::optional<QString>& error);
    void setNotice(const std::optional<QString>& notice);

    // How long a notice stays, and the "Copied" state after a copy. Tests shorten them.
    std::chrono::milliseconds noticeLifetime {4000};
    std::chrono::milliseconds copiedLifetime {1400};

signals:
    void usePreambleChanged();
    void showCopiedChanged();
    void exportErrorChanged();
    void noticeChanged();

private:
    bool m_usePreamble = true;
    bool m_showCopied = false;
    std::optional<QString> m_exportError;
    std::optional<QString> m_notice;
};
