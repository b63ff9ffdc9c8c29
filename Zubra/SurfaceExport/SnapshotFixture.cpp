#include "Zubra/SurfaceExport/SnapshotFixture.h"

#include "Zubra/SurfaceExport/ExportFlags.h"
#include "ZubraCore/Composition/PromptTemplates.h"

#include <QDir>
#include <QFile>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace AppScreenshotExporter {

std::unique_ptr<SnapshotFixture> SnapshotFixture::make(const std::optional<QString>& contents, QString* error)
{
    std::unique_ptr<SnapshotFixture> fixture(new SnapshotFixture);
    fixture->m_suiteName = u"TessellonSnapshot."_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    fixture->m_directory = QDir(QDir::tempPath()).filePath(fixture->m_suiteName);
    // The settings suite lives beside the folder, not in it, so removing one never takes the other.
    fixture->m_defaults = std::make_unique<QSettings>(
        QDir(QDir::tempPath()).filePath(fixture->m_suiteName + u".ini"_s), QSettings::IniFormat);
    if (fixture->m_defaults->status() != QSettings::NoError) {
        *error = description(ExportError::renderFailed);
        return nullptr;
    }
    if (!QDir().mkpath(fixture->m_directory)) {
        *error = u"The folder \u201C"_s + fixture->m_directory + u"\u201D could not be created."_s;
        fixture->removeFiles();
        return nullptr;
    }
    fixture->m_defaults->setValue(Store::collectIntoActiveDraftKey, false);
    PromptTemplates::saveCustom(QList<PromptTemplate>(), *fixture->m_defaults);
    fixture->m_defaults->sync();

    const QString library = QDir(fixture->m_directory).filePath(u"Library.json"_s);
    if (contents) {
        QFile file(library);
        if (!file.open(QIODevice::WriteOnly) || file.write(contents->toUtf8()) != contents->toUtf8().size()) {
            *error = file.errorString();
            fixture->removeFiles();
            return nullptr;
        }
    }
    fixture->m_store = std::make_unique<Store>(library, fixture->m_defaults.get());
    return fixture;
}

SnapshotFixture::~SnapshotFixture()
{
    cleanUp();
}

void SnapshotFixture::cleanUp()
{
    if (m_cleaned)
        return;
    m_cleaned = true;
    if (m_store) {
        m_store->saveNow();
        m_store.reset();
    }
    removeFiles();
}

void SnapshotFixture::removeFiles()
{
    if (m_defaults) {
        m_defaults->clear();
        const QString file = m_defaults->fileName();
        m_defaults.reset();
        QFile::remove(file);
    }
    QDir(m_directory).removeRecursively();
}

} // namespace AppScreenshotExporter
