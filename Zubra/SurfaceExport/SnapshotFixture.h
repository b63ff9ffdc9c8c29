#pragma once
// A throw-away library for one step of the surface export: a private settings file and a fresh
// temporary folder holding "Library.json" (with the given text, or none), and a store opened over
// both. cleanUp() saves and removes them again; every way out of a step calls it once the
// fixture exists. Nothing touches the user's own library or settings.

#include "ZubraCore/Library/Store.h"

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace AppScreenshotExporter {

class SnapshotFixture
{
public:
    // No value, with `error` set, when the fixture could not be made; what was made is gone again.
    static std::unique_ptr<SnapshotFixture> make(const std::optional<QString>& contents, QString* error);
    ~SnapshotFixture();

    const QString& suiteName() const { return m_suiteName; }
    const QString& directory() const { return m_directory; }
    QSettings& defaults() { return *m_defaults; }
    Store& store() { return *m_store; }

    // Saves now, then removes the settings and the folder; failures are ignored. Runs once.
    void cleanUp();

private:
    SnapshotFixture() = default;
    void removeFiles();

    QString m_suiteName;
    QString m_directory;
    std::unique_ptr<QSettings> m_defaults;
    std::unique_ptr<Store> m_store;
    bool m_cleaned = false;
};

} // namespace AppScreenshotExporter
