// Program entry: the export flags first (an export run starts no shell); then the application,
// the single-instance decision (a later instance hands off before anything of the library is
// opened), the adoption of the earlier product's data, the store, the shell with the real X11
// backends, and the event loop.

#include "Platform/AppIdentity.h"
#include "Platform/Clock.h"
#include "Platform/MainQueue.h"
#include "Platform/Posix/LocalInstanceChannel.h"
#include "Platform/Posix/XdgAutostartLoginItems.h"
#include "Platform/Updater.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Feedback.h"
#include "Platform/X11/X11HotKeyService.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XkbKeyLayout.h"
#include "Zubra/Shell/AppDelegate.h"
#include "Zubra/Shell/AppDelegateSignals.h"
#include "Zubra/Shell/BrandMark.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/ShellSettings.h"
#include "Zubra/SurfaceExport/AppScreenshotExporter.h"
#include "Zubra/SurfaceExport/ExportFlags.h"
#include "Zubra/SurfaceExport/ExportFonts.h"
#include "ZubraCore/Capture/SelectionCapture.h"
#include "ZubraCore/Library/AppDataMigration.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QThreadPool>
#include <cstdio>
#include <ctime>
#include <exception>

namespace {

using namespace AppScreenshotExporter;

// An export run writes one line: its result on standard output or its error on standard error.
// Qt's own messages (some come while the application object is being made) are kept off both.
void quietMessages(QtMsgType, const QMessageLogContext&, const QString&)
{
}

int exportFailure(const QString& message)
{
    std::fprintf(stderr, "error: %s\n", message.toLocal8Bit().constData());
    return 1;
}

int runExport(int argc, char* argv[], const QStringList& arguments)
{
    qInstallMessageHandler(quietMessages);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The images are the same on every machine: UTC, English (United States), DejaVu fonts.
    qputenv("TZ", "UTC");
    tzset();
    const RequestedPath surfaces = requestedSurfacesDirectory(arguments);
    if (surfaces.error)
        return exportFailure(description(*surfaces.error));
    RequestedPath output;
    if (!surfaces.path) {
        output = requestedOutputURL(arguments);
        if (output.error)
            return exportFailure(description(*output.error));
    }
    const ExportFonts fonts;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    if (surfaces.path) {
        if (const auto error = exportSurfaces(*surfaces.path, arguments))
            return exportFailure(*error);
        std::fprintf(stdout, "==> UI surfaces: %s\n", surfaces.path->toLocal8Bit().constData());
        return 0;
    }
    if (const auto error = exportSampleScreenshot(*output.path))
        return exportFailure(*error);
    std::fprintf(stdout, "==> sample screenshot: %s\n", output.path->toLocal8Bit().constData());
    return 0;
}

const QString adoptionFailure = QStringLiteral(
    "Tessellon could not copy your existing Zubra data. Your data was not changed, and Tessellon did not start. "
    "Resolve the local storage problem, then open Tessellon again.");

int refuseToStart()
{
    std::fprintf(stderr, "error: %s\n", adoptionFailure.toLocal8Bit().constData());
    QMessageBox box;
    box.setIcon(QMessageBox::Critical);
    box.setText(QStringLiteral("Tessellon could not start"));
    box.setInformativeText(adoptionFailure);
    box.addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
    box.activateWindow();
    box.exec();
    return 1;
}

// The capture's real desktop services, made on the GUI thread (the clipboard must be) and used
// by one capture at a time on a worker.
struct CaptureBackends
{
    AtspiAccessibility accessibility;
    X11Workspace workspace;
    std::shared_ptr<XTestKeyInjector> keys = std::make_shared<XTestKeyInjector>();
    QtPasteboard pasteboard;
    UnavailableScriptRunner scripts;
    SystemClock clock;

    void start(CaptureFlow::Completion completion)
    {
        QThreadPool::globalInstance()->start([this, completion = std::move(completion)] {
            CaptureFlow::Outcome outcome = CaptureFlow::UnexpectedFailure {};
            try {
                SelectionCapture capture({accessibility, workspace, *keys, pasteboard, scripts, clock});
                const CaptureOutcome result = capture.capture();
                if (const auto* found = std::get_if<CaptureResult>(&result))
                    outcome = *found;
                else
                    outcome = std::get<CaptureError>(result);
            } catch (const std::exception& error) {
                outcome = CaptureFlow::UnexpectedFailure {QString::fromLocal8Bit(error.what())};
            }
            QMetaObject::invokeMethod(
                qApp, [completion, outcome] { completion(outcome); }, Qt::QueuedConnection);
        });
    }
};

} // namespace

int main(int argc, char* argv[])
{
    const QStringList arguments = rawArguments(argc, argv);
    if (isExportRun(arguments))
        return runExport(argc, argv, arguments);

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(AppIdentity::organisation));
    QApplication::setApplicationName(QString::fromLatin1(AppIdentity::applicationName));
    QApplication::setDesktopFileName(QString::fromLatin1(AppIdentity::bundleIdentifier));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(BrandMark::markIcon());
    const std::shared_ptr<MainQueue> queue = MainQueue::system();

    // A later instance asks the running one to show its window and leaves: it never adopts,
    // loads or saves the library.
    LocalInstanceChannel channel;
    if (const auto running = channel.claim()) {
        AppDelegate::handOff(channel, *running, queue);
        return application.exec();
    }

    const AppDataMigration::Outcome adoption = AppDataMigration::migrateIfNeeded();
    if (adoption.failure)
        return refuseToStart();
    std::optional<QString> migrationLogMessage;
    if (adoption.result.copiedStore || adoption.result.copiedPreferenceCount >= 1)
        migrationLogMessage = QStringLiteral("Adopted legacy local data: store=")
            + (adoption.result.copiedStore ? QStringLiteral("true") : QStringLiteral("false"))
            + QStringLiteral(", preferences=") + QString::number(adoption.result.copiedPreferenceCount);

    const std::unique_ptr<QSettings> settings = ShellSettings::openUserSettings();
    Store store(std::nullopt, settings.get());

    CaptureBackends capture;
    X11HotKeyService hotKeyService;
    hotKeyService.setKeyInjector(capture.keys);
    HotKeyManager hotKeys(hotKeyService, settings.get());
    HotKeyManager::setShared(&hotKeys);
    auto keyLayout = std::make_shared<XkbKeyLayout>();
    HotKeyCombo::setProcessKeyLayout(keyLayout);
    X11Feedback feedback([](const QString& line) { logMP(line); });
    UnavailableUpdater updater;
    XdgAutostartLoginItems loginItems;

    AppDelegate delegate(AppDelegate::Services {
        store,
        *settings,
        queue,
        capture.workspace,
        feedback,
        updater,
        loginItems,
        hotKeys,
        keyLayout,
        &channel,
        [&capture] { return capture.accessibility.isTrusted(); },
        [] {
            if (!enableAccessibilityBus())
                logMP(QStringLiteral("The accessibility bus could not be turned on"));
        },
        [&capture](CaptureFlow::Completion completion) { capture.start(std::move(completion)); },
        [](QWidget* parent) {
            auto* placeholder = new QLabel(QStringLiteral("Tessellon"), parent);
            placeholder->setAlignment(Qt::AlignCenter);
            return placeholder;
        },
        [](const QString&) {},
        {},
        {},
        migrationLogMessage,
        true,
    });
    if (!channel.problem().isEmpty())
        logMP(QStringLiteral("Single-instance channel: ") + channel.problem());

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &delegate, &AppDelegate::terminate);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);

    delegate.finishLaunching(arguments);
    const int status = application.exec();
    // The capture runs no more: the clipboard it used goes away with this scope.
    QThreadPool::globalInstance()->waitForDone(int(AppDelegate::quitCaptureBound.count()));
    HotKeyManager::setShared(nullptr);
    return status;
}
