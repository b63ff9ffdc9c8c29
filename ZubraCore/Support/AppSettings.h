#pragma once
// The program's settings: one home for their keys and for how each value is read and written.
// It wraps a QSettings it does not own: the program's own settings (openDefault) or a test's.
// Values are kept as the program has always stored them; a value of the wrong form reads as
// the setting's default. The shell reads and writes its own settings (hotkey, window frames)
// through ShellSettings; their keys are here too because the adoption of earlier data copies them.

#include <QSettings>
#include <QString>
#include <QVariant>
#include <future>
#include <memory>
#include <optional>

class AppSettings
{
public:
    // "Collect into Prompt": a Bool, absent = off.
    static inline const QString collectIntoActiveDraftKey = QStringLiteral("Tessellon.collectIntoActiveDraft");
    // The user's task templates: one JSON array as UTF-8 bytes.
    static inline const QString customPromptTemplatesKey = QStringLiteral("Tessellon.customPromptTemplates");
    // Where templates that could not be read are kept before they are overwritten; then "-2", "-3"…
    static inline const QString unreadableCustomPromptTemplatesKey
        = customPromptTemplatesKey + QStringLiteral(".unreadable");
    // The capture shortcut: HotKeyCombo's JSON bytes.
    static inline const QString hotKeyComboKey = QStringLiteral("captureHotKeyCombo");
    // Window geometry as each window saved it.
    static inline const QString mainWindowFrameKey = QStringLiteral("NSWindow Frame TessellonMainWindow");
    static inline const QString settingsWindowFrameKey = QStringLiteral("NSWindow Frame TessellonSettingsWindow");

    // The folder a prompt was last exported to: a path as text, absent until the first export.
    static inline const QString lastExportFolderKey = QStringLiteral("Tessellon.lastExportFolder");

    explicit AppSettings(QSettings& settings)
        : m_settings(&settings)
    {
    }

    // The settings file of the program's scope (organisation and application of AppIdentity).
    static std::unique_ptr<QSettings> openDefault();
    // The settings file at the path, private to the user (0600 in a folder 0700). It is opened
    // only when it is a regular file of this user, or was missing and has been made: anything else
    // at the path (a link, a pipe, a device, another user's file) is never read nor written, and
    // the settings then live in memory for this process, with storageProblem() saying why.
    static std::unique_ptr<QSettings> openPrivate(const QString& path);
    // The earlier product's settings file, read once when its data is adopted; empty unless a
    // regular file stands at its path.
    static std::unique_ptr<QSettings> openLegacy();

    QSettings& settings() const { return *m_settings; }

    // Why the settings are not kept, or nothing when they are: the file is a link, a folder or
    // something else that is not a file, another user's, cannot be read, or it or its folder cannot
    // be written. Writes out
    // what is pending first. QSettings itself only drops such changes silently.
    std::optional<QString> storageProblem() const;

    // True only for a stored Boolean true (or its text forms "true" and "1").
    bool collectIntoActiveDraft() const;
    // Written and flushed on every call.
    void setCollectIntoActiveDraft(bool collect);

    // The stored templates value as it is (invalid when absent); PromptTemplates decodes it.
    QVariant customPromptTemplates() const { return m_settings->value(customPromptTemplatesKey); }
    void setCustomPromptTemplates(const QByteArray& json) { m_settings->setValue(customPromptTemplatesKey, json); }
    // Empty unless a path of plausible length is stored as text.
    QString lastExportFolder() const;
    void setLastExportFolder(const QString& folder) { m_settings->setValue(lastExportFolderKey, folder); }

    // The n-th place for unreadable templates, counted from 1.
    static QString unreadableCustomPromptTemplatesKeyFor(int n);

    // Writes out what is pending on a thread of its own, so that the caller's thread may do other
    // work meanwhile (the quit saves the library). The settings are not used until the result
    // is ready; its destruction waits for the write.
    std::future<void> syncApart() const;

protected:
    // Sets the value unless the settings hold it already: an unchanged value never costs a write
    // of the file.
    void setChangedValue(const QString& key, const QVariant& value);

private:
    QSettings* m_settings;
};
