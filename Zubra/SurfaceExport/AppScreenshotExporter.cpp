#include "Zubra/SurfaceExport/AppScreenshotExporter.h"

#include "Platform/Folders.h"

#include "Zubra/Composer/ComposerSheets.h"
#include "Zubra/Shell/SettingsView.h"
#include "Zubra/Shell/WelcomeView.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "Zubra/SurfaceExport/SnapshotFixture.h"
#include "Zubra/SurfaceExport/SurfaceCanvases.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Library/Store.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace AppScreenshotExporter {

namespace {

struct Surface
{
    QString fileName;
    QSize size;
    ColorScheme scheme;
    std::function<QWidget*()> make;
};

// Creates the folder with its missing parents. The images are the user's to keep and share, and
// so are the folders made for them: their modes follow the umask, as any program's new folder.
std::optional<QString> makeFolder(const QString& directory)
{
    if (const auto failed = Folders::createWithParents(directory, 0777))
        return failed->folder + u": "_s + QString::fromLocal8Bit(std::strerror(failed->error));
    return std::nullopt;
}

QString hotkey()
{
    return QString::fromUtf16(hotkeyDisplay);
}

// The actions of an exported view do nothing.
NoShellActions& noShell()
{
    static NoShellActions shell;
    return shell;
}

// Adds the samples, oldest first (the store lists them in their own order), and the group of the
// first sample and the Terminal one. False when there are no samples or the group was refused.
bool addSamplesAndGroup(Store& store, const QList<Selection>& samples)
{
    if (samples.isEmpty())
        return false;
    for (auto it = samples.crbegin(); it != samples.crend(); ++it)
        store.add(*it);
    const auto group = store.createGroup(u"Swift research"_s, u"#245BD7"_s, {samples.first().id});
    if (!group)
        return false;
    for (const Selection& s : samples) {
        if (s.appName == u"Terminal"_s) {
            store.addToGroup(group->id, {s.id});
            break;
        }
    }
    return true;
}

} // namespace

void populateSampleStore(Store& store)
{
    const QList<Selection> samples = SampleData::sampleSelections(SampleData::screenshotReferenceDate());
    if (!addSamplesAndGroup(store, samples))
        return;
    store.ensureActiveDraft();
    for (qsizetype i = 0; i < std::min<qsizetype>(4, samples.size()); ++i)
        store.addSelectionToActiveDraft(samples[i].id);
}

std::optional<QString> exportSurfaces(const QString& directory, const QStringList& arguments)
{
    if (arguments.contains(QString::fromLatin1(storageFailureSurfacesFlag)))
        return exportStorageFailureSurfaces(directory);

    QString error;
    auto sample = SnapshotFixture::make(std::nullopt, &error);
    if (!sample)
        return error;
    populateSampleStore(sample->store());
    Store& store = sample->store();
    if (store.selections().isEmpty() || !store.activeDraft())
        return description(ExportError::renderFailed);
    const QUuid firstSelection = store.selections().first().id;
    const QUuid draft = store.activeDraft()->id;
    const std::optional<Selection> detailSelection = store.findByID(firstSelection);
    if (!detailSelection)
        return description(ExportError::renderFailed);

    auto empty = SnapshotFixture::make(std::nullopt, &error);
    if (!empty)
        return error;
    const QUuid emptyDraft = empty->store().ensureActiveDraft().id;
    if (auto failed = makeFolder(directory))
        return failed;

    QSettings& sampleDefaults = sample->defaults();
    Store& emptyStore = empty->store();
    QSettings& emptyDefaults = empty->defaults();
    const auto canvas = [](Store& s, QSettings& d, UISurfaceCanvas::Mode mode) {
        return [&s, &d, mode]() -> QWidget* { return new UISurfaceCanvas(s, mode, d); };
    };
    const QList<Surface> surfaces {
        {u"library-wide.png"_s, {1120, 660}, ColorScheme::light,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::library(firstSelection))},
        {u"library-compact.png"_s, {980, 600}, ColorScheme::light,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::library(firstSelection))},
        {u"compose-wide.png"_s, {1280, 760}, ColorScheme::light,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::compose(draft))},
        {u"compose-compact.png"_s, {980, 600}, ColorScheme::light,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::compose(draft))},
        {u"library-dark.png"_s, {1120, 660}, ColorScheme::dark,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::library(firstSelection))},
        {u"compose-dark.png"_s, {1280, 760}, ColorScheme::dark,
            canvas(store, sampleDefaults, UISurfaceCanvas::Mode::compose(draft))},
        {u"detail.png"_s, {420, 660}, ColorScheme::light,
            [&store, &detailSelection] { return SurfaceCanvases::detail(store, *detailSelection); }},
        {u"settings.png"_s, {520, 380}, ColorScheme::light,
            [] {
                return new SettingsView(SettingsView::snapshotOf(
                    {hotkey(), false, u"/home/example/.local/share/Tessellon/Tessellon.json"_s, u"1.0.6 (7)"_s}));
            }},
        {u"welcome.png"_s, {520, 520}, ColorScheme::light, [] { return new WelcomeView(true, hotkey(), &noShell()); }},
        {u"empty-library.png"_s, {980, 600}, ColorScheme::light,
            canvas(emptyStore, emptyDefaults, UISurfaceCanvas::Mode::emptyLibrary())},
        {u"empty-compose.png"_s, {980, 600}, ColorScheme::light,
            canvas(emptyStore, emptyDefaults, UISurfaceCanvas::Mode::emptyCompose(emptyDraft))},
        {u"empty-search.png"_s, {500, 360}, ColorScheme::light,
            [&store] { return SurfaceCanvases::emptySearch(store); }},
        {u"empty-scope.png"_s, {500, 360}, ColorScheme::light, [&store] { return SurfaceCanvases::emptyScope(store); }},
        {u"sheet-trim.png"_s, {520, 380}, ColorScheme::light,
            [&detailSelection] {
                return new EntryTrimSheet(ModelProfile::gpt4o(), detailSelection->text, nullptr, nullptr);
            }},
        {u"sheet-import.png"_s, {540, 420}, ColorScheme::light,
            [] {
                return new ImportSheet(u"First imported paragraph.\n\nSecond imported paragraph."_s, nullptr, nullptr);
            }},
        {u"sheet-save-template.png"_s, {340, 180}, ColorScheme::light,
            [] { return new SaveTemplateSheet(u"Research summary"_s, nullptr, nullptr); }},
        {u"sheet-new-group.png"_s, {360, 190}, ColorScheme::light, [] { return SurfaceCanvases::newGroupSheet(); }},
    };
    for (const Surface& surface : surfaces) {
        if (auto failed
            = render(surface.make, surface.size, 1, surface.scheme, QDir(directory).filePath(surface.fileName)))
            return failed;
    }
    if (auto failed = exportStorageFailureSurfaces(directory))
        return failed;
    // The fixtures clean up as they go: the empty one first, then the sample one.
    empty.reset();
    sample.reset();
    return std::nullopt;
}

std::optional<QString> exportStorageFailureSurfaces(const QString& directory)
{
    if (auto failed = makeFolder(directory))
        return failed;
    struct Case
    {
        QString name;
        QString contents;
        StorePersistenceStatus expected;
    };
    const QList<Case> cases {
        {u"unreadable"_s, u"unreadable fixture"_s, StorePersistenceStatus::unreadablePrimary},
        {u"incompatible"_s, u"{\"version\":999}"_s, StorePersistenceStatus::incompatibleVersion},
    };
    for (const Case& c : cases) {
        QString error;
        auto fixture = SnapshotFixture::make(c.contents, &error);
        if (!fixture)
            return error;
        Store& store = fixture->store();
        if (store.persistenceStatus() != c.expected || !store.selections().isEmpty())
            return description(ExportError::renderFailed);
        for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            const QString file
                = u"library-"_s + c.name + (scheme == ColorScheme::dark ? u"-dark"_s : u"-light"_s) + u".png"_s;
            const auto make = [&store] { return SurfaceCanvases::storageFailure(store.persistenceStatus()); };
            if (auto failed = render(make, {980, 600}, 1, scheme, QDir(directory).filePath(file)))
                return failed;
        }
    }
    return std::nullopt;
}

std::optional<QString> exportSampleScreenshot(const QString& path)
{
    QString error;
    auto fixture = SnapshotFixture::make(std::nullopt, &error);
    if (!fixture)
        return error;
    Store& store = fixture->store();
    const QList<Selection> samples = SampleData::sampleSelections(SampleData::screenshotReferenceDate());
    if (!addSamplesAndGroup(store, samples))
        return description(ExportError::renderFailed);
    store.ensureActiveDraft();
    store.addSelectionToActiveDraft(samples.first().id);
    if (auto failed = makeFolder(QFileInfo(path).absolutePath()))
        return failed;
    const QUuid first = samples.first().id;
    return render([&store, first] { return SurfaceCanvases::sampleScreenshot(store, first); }, {1120, 660}, 2,
        ColorScheme::light, path);
}

} // namespace AppScreenshotExporter
