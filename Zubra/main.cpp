// Program entry: the export flags first (an export run starts no shell); then the application,
// the single-instance decision (a later instance hands off before anything of the library is
// opened), the adoption of the earlier product's data, the store, the shell with the real X11
// backends, and the event loop.

#include "Platform/AppIdentity.h"
#include "Platform/Clock.h"
#include "Platform/DiskFileSystem.h"
#include "Platform/Folders.h"
#include "Platform/IconProvider.h"
#include "Platform/MainQueue.h"
#include "Platform/Posix/LocalInstanceChannel.h"
#include "Platform/Posix/XdgAutostartLoginItems.h"
#include "Platform/Updater.h"
#include "Platform/X11/AccessibilityBus.h"
#include "Platform/X11/AtspiAccessibility.h"
#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/SyslogSystemLog.h"
#include "Platform/X11/UnavailableScriptRunner.h"
#include "Platform/X11/X11Feedback.h"
#include "Platform/X11/X11HotKeyService.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XkbKeyLayout.h"
#include "Zubra/App/AppDelegate.h"
#include "Zubra/Composer/ComposeDraftPane.h"
#include "Zubra/Composer/ComposeView.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibraryWindowViews.h"
#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "Zubra/Shell/AppIcon.h"
#include "Zubra/Shell/CaptureBackends.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/TerminationSignals.h"
#include "Zubra/Shell/WelcomeView.h"
#include "Zubra/SurfaceExport/AppScreenshotExporter.h"
#include "Zubra/SurfaceExport/ExportFlags.h"
#include "Zubra/SurfaceExport/ExportFonts.h"
#include "Zubra/Widgets/IconCache.h"
#include "ZubraCore/Capture/LateCopyGuard.h"
#include "ZubraCore/Capture/SelectionCapture.h"
#include "ZubraCore/Library/AppDataMigration.h"
#include "ZubraCore/Library/EndOfRun.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Support/AppSettings.h"
#include "ZubraCore/Support/Logging.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <utility>

namespace {

using namespace AppScreenshotExporter;

// The exit handler for anything that calls exit() from within the event loop. A save still
// running when it gives up uses what exit() destroys next: the process ends here instead.
extern "C" void saveOnUnplannedExit()
{
    if (!EndOfRun::saveOnExit())
        std::_Exit(EXIT_FAILURE);
}

// A closed output (SIGPIPE: standard error on a pipe whose reader has gone) or a file-size limit
// (SIGXFSZ: a shell's or service manager's limit below the library's size) would end the process
// at a write, losing what is not saved. With them caught the write fails instead (EPIPE, EFBIG),
// as a full disk does, and is reported. A handler that does nothing rather than ignoring them:
// the programs started from here get the default back.
extern "C" void leaveWriteSignal(int)
{
}

void survivePipeAndSizeSignals()
{
    struct sigaction action {};
    action.sa_handler = leaveWriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGPIPE, SIGXFSZ})
        ::sigaction(number, &action, nullptr);
}

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

const QString homeMissing = QStringLiteral(
    "Tessellon did not start: HOME names no folder (it is unset, empty or relative) and the user database "
    "gives no home folder for this user. Set HOME to your home folder, then open Tessellon again.");

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
// by one capture at a time on the runner's worker.
struct CaptureServices
{
    AtspiAccessibility accessibility;
    X11Workspace workspace;
    std::shared_ptr<XTestKeyInjector> keys = std::make_shared<XTestKeyInjector>();
    QtPasteboard pasteboard;
    UnavailableScriptRunner scripts;
    SystemClock clock;
    LateCopyGuard lateCopies {pasteboard, clock};

    CaptureOutcome capture()
    {
        SelectionCapture capture({accessibility, workspace, *keys, pasteboard, scripts, clock, &lateCopies});
        return capture.capture();
    }
};

// The library window's root with its sidebar, toolbar, detail and status views, the prompt
// composer, and the welcome sheet it asks for on an empty library.
QWidget* makeContentView(Store& store, CaptureServices& capture, QSettings& settings,
    const std::shared_ptr<WindowNotifications>& notifications, QWidget* parent)
{
    LibraryEnvironment environment;
    environment.notifications = notifications;
    environment.pasteboard = &capture.pasteboard;
    environment.workspace = &capture.workspace;
    environment.shell = AppDelegate::shared();
    auto* view = new ContentView(store, environment, parent);
    new LibraryWindowViews(*view);
    ComposerServices composer;
    composer.pasteboard = &capture.pasteboard;
    composer.files = std::make_shared<DiskFileSystem>();
    composer.chooser = std::make_shared<DialogExportFileChooser>(&settings);
    composer.templateDefaults = &settings;
    // The empty prompt's hint names the shortcut that works now, also after a change in Settings.
    composer.hotkeyDisplay = [&shell = view->environment().shellActions()] { return shell.hotkeyDisplay(); };
    auto* compose = new ComposeView(store, composer);
    view->setComposeView(compose);
    if (AppDelegate* delegate = AppDelegate::shared())
        QObject::connect(&delegate->hotKeys(), &HotKeyManager::comboRegistered, compose,
            [compose] { compose->draftPane()->refreshNow(); });
    const auto followDraft = [view, compose] {
        if (const auto id = view->composeDraftID())
            compose->setDraftID(*id);
    };
    QObject::connect(view, &ContentView::composeDraftIDChanged, compose, followDraft);
    followDraft();
    view->setWelcomePresenter([view] {
        const QPointer<ContentView> guard(view);
        WelcomeView::presentSheet(view->window(), view->environment().shellActions(), [guard] {
            if (guard)
                guard->welcomeDismissed();
        });
    });
    return view;
}

void postWindowNotification(WindowNotifications& notifications, const QString& name)
{
    if (name == WindowNotifications::openPromptName)
        notifications.postOpenPrompt();
    else if (name == WindowNotifications::newPromptName)
        notifications.postNewPrompt();
    else if (name == WindowNotifications::focusSearchName)
        notifications.postFocusSearch();
}

} // namespace

int main(int argc, char* argv[])
{
    survivePipeAndSizeSignals();
    // Before anything reads a folder: the library, the settings and the runtime folder.
    const Folders::Home home = Folders::settleHome();
    if (home.outcome == Folders::Home::missing) {
        std::fprintf(stderr, "error: %s\n", homeMissing.toLocal8Bit().constData());
        return 1;
    }
    const QStringList ignoredFolders = Folders::ignoreRelativeBaseFolders();
    // The launch's delayed steps count from the start, so that a long load of the library is part
    // of their wait rather than added to it.
    const auto processStart = std::chrono::steady_clock::now();
    // Every line of every run, the export's included, goes to the system log from here on. It is
    // never destroyed: threads that outlive main (the store's save queue, left running with the
    // store to the process's end) may still write to it while the statics go.
    static SyslogSystemLog* const systemLog = new SyslogSystemLog;
    Loggers::setSystemLog(systemLog);
    const QStringList arguments = rawArguments(argc, argv);
    if (isExportRun(arguments))
        return runExport(argc, argv, arguments);

    // Made before and destroyed after everything else: a second signal ends the process also
    // while the shell is being torn down (a window or the X connection may block that).
    std::unique_ptr<TerminationSignals> terminationSignals;
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(AppIdentity::organisation));
    QApplication::setApplicationName(QString::fromLatin1(AppIdentity::applicationName));
    QApplication::setDesktopFileName(QString::fromLatin1(AppIdentity::bundleIdentifier));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(AppIcon::icon());
    const std::shared_ptr<MainQueue> queue = MainQueue::system();

    // A later instance asks the running one to show its window and leaves: it never adopts,
    // loads or saves the library.
    LocalInstanceChannel channel;
    if (const auto running = channel.claim(); running && AppDelegate::handOff(channel, *running, queue))
        return application.exec();

    // Opened once for the whole run; anything but a regular file of this user at the settings path
    // leaves the settings in memory (never read, never written through).
    const std::unique_ptr<QSettings> settings = AppSettings::openDefault();
    const AppDataMigration::Outcome adoption = AppDataMigration::migrateIfNeeded(*settings);
    if (adoption.failure)
        return refuseToStart();
    std::optional<QString> migrationLogMessage;
    if (adoption.result.copiedStore || adoption.result.copiedPreferenceCount >= 1)
        migrationLogMessage = QStringLiteral("Adopted legacy local data: store=")
            + (adoption.result.copiedStore ? QStringLiteral("true") : QStringLiteral("false"))
            + QStringLiteral(", preferences=") + QString::number(adoption.result.copiedPreferenceCount);

    // Owned here and never destroyed: see the end of main.
    auto ownedStore = std::make_unique<Store>(StoreLocations::defaultStoreURL(), settings.get());
    Store& store = *ownedStore;

    CaptureBackends<CaptureServices> capture;
    // Trusted: X11 with XTEST, and the desktop's accessibility support on (toolkits publish their
    // trees only then) or impossible (captures then use the copy keystroke alone).
    AccessibilityBusTrust trust(
        capture.services().accessibility.isTrusted(), [](const QString& line) { logMP(line); });
    X11HotKeyService hotKeyService;
    hotKeyService.setKeyInjector(capture.services().keys);
    auto keyLayout = std::make_shared<XkbKeyLayout>();
    HotKeyManager hotKeys(hotKeyService, settings.get(), keyLayout);
    // Application icons are looked up on the icon cache's worker, through a workspace (and X
    // connection) of their own: reading desktop entries and icon files never holds up painting.
    // The cache and its worker are never destroyed, so the provider owns that workspace: a
    // lookup still under way when main returns finds it there.
    IconCache::installSharedProvider(std::make_shared<WorkspaceIconProvider>(std::make_shared<X11Workspace>()), true);
    X11Feedback feedback([](const QString& line) { logMP(line); });
    UnavailableUpdater updater;
    XdgAutostartLoginItems loginItems;

    const auto windowNotifications = std::make_shared<WindowNotifications>();
    AppDelegate delegate(AppDelegate::Services {
        .store = store,
        .settings = *settings,
        .queue = queue,
        .workspace = capture.services().workspace,
        .feedback = feedback,
        .updater = updater,
        .loginItems = loginItems,
        .hotKeys = hotKeys,
        .keyLayout = keyLayout,
        .channel = &channel,
        .trust = &trust,
        .startCapture = [&capture](CaptureFlow::Completion completion) { capture.start(std::move(completion)); },
        .mainContent =
            [&store, &capture, &settings, windowNotifications](QWidget* parent) {
                return makeContentView(store, capture.services(), *settings, windowNotifications, parent);
            },
        .postNotification
        = [windowNotifications](const QString& name) { postWindowNotification(*windowNotifications, name); },
        .migrationLogMessage = migrationLogMessage,
        .missingForCapture = [&capture] { return missingForCapture(capture.services().accessibility.isTrusted()); },
        // The alerts, the clock, the status item and the tray: the real ones.
    });
    terminationSignals = std::make_unique<TerminationSignals>(EndOfRun::saveBeforeForcedEnd);
    QObject::connect(
        terminationSignals.get(), &TerminationSignals::terminationRequested, &delegate, &AppDelegate::terminate);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    // Once quitting is decided, the focus tracker leaves the bus on its own thread while the
    // quit goes on. The windows closing would tell the bus, widget by widget, that each stopped
    // showing (Qt sends such changes whenever anything listens, and the tracker did): nothing
    // needs that of a program that is ending, and it lengthens the quit.
    QObject::connect(&delegate, &AppDelegate::terminating, [&capture] {
        capture.services().accessibility.stopFollowingFocus();
        QAccessible::installUpdateHandler([](QAccessibleEvent*) { });
    });

    delegate.finishLaunching(arguments,
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - processStart));
    // Found before the log file was open; written now, where the user can read them.
    if (home.outcome == Folders::Home::replaced)
        logMP(QStringLiteral("HOME was unset, empty or relative (\"") + home.previous
            + QStringLiteral("\"): the home folder from the user database is used: ") + QDir::homePath());
    for (const QString& ignored : ignoredFolders)
        logMP(QStringLiteral("Ignored a relative folder variable (the default under HOME is used): ") + ignored);
    if (!channel.problem().isEmpty())
        logMP(QStringLiteral("Single-instance channel: ") + channel.problem());
    EndOfRun::begin(store);
    // Registered now, after the statics that the save and the log use were made: exit() runs the
    // handler before their destruction.
    std::atexit(saveOnUnplannedExit);
    const int status = application.exec();
    EndOfRun::finish(); // saved by Quit
    // Every change is written (on the way out already; this writes only what that missed), then
    // the records go with the process: freeing a large library record by record would only keep
    // the ending process busy. Held where leak checkers see it.
    store.saveNow();
    static const Store* const leftToProcessEnd = ownedStore.release();
    (void)leftToProcessEnd;
    // A capture that outlived every wait still runs, on its own share of the backends, and may
    // still ask the clipboard on this thread; the accessibility status thread may still wait in
    // a call to a hung bus, on the session bus connection and with the log. Either would race
    // with the teardown (its backends, the bus connection, the statics): leave without it.
    const bool statusStopped = trust.stop();
    if (!capture.runner().waitForIdle(AppDelegate::quitCaptureBound) || !statusStopped) {
        FileLogger::flush();
        std::_Exit(status);
    }
    return status;
}
