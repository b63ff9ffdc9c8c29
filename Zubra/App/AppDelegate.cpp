#include "Zubra/App/AppDelegate.h"

#include "Platform/AccessibilityTrust.h"
#include "Platform/AppIdentity.h"
#include "Platform/Feedback.h"
#include "Platform/MainQueue.h"
#include "Platform/Updater.h"
#include "Zubra/App/MenuBar.h"
#include "Zubra/Shell/AboutDialog.h"
#include "Zubra/Shell/AppIcon.h"
#include "Zubra/Shell/BundleInfo.h"
#include "Zubra/Shell/CaptureToast.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/SettingsView.h"
#include "Zubra/Shell/ShellSettings.h"
#include "Zubra/Shell/StatusItem.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDataStream>
#include <QDialog>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QPointer<AppDelegate> sharedDelegate;

const QString accessibilityAlertName = QStringLiteral("TessellonAccessibilityAlert");

std::shared_ptr<DispatchWorkItem> work(std::function<void()> block)
{
    return std::make_shared<DispatchWorkItem>(std::move(block));
}

// `missing` names what keeps captures from running when turning the accessibility bus on cannot
// help; the alert then says so and offers no button to turn it on.
bool askAccessibility(const QString& missing)
{
    QMessageBox box;
    box.setObjectName(accessibilityAlertName);
    box.setIcon(QMessageBox::Warning);
    box.setText(QStringLiteral("Tessellon needs Accessibility access"));
    const QString reason = QStringLiteral(
        "To read your selected text and capture formatted copies, Tessellon must have Accessibility permission.\n\n");
    if (!missing.isEmpty()) {
        box.setInformativeText(reason + missing);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return false;
    }
    box.setInformativeText(reason
        + QStringLiteral(
            "Turn on your desktop's accessibility support so Tessellon can read selected text, then try again."));
    QPushButton* turnOn = box.addButton(QStringLiteral("Turn On Accessibility"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(turnOn);
    box.exec();
    return box.clickedButton() == turnOn;
}

void tellUpdatesUnavailable()
{
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(QStringLiteral("Updates are unavailable in this build"));
    box.setInformativeText(
        QStringLiteral("Please check ") + BundleInfo::webDomain + QStringLiteral(" for the current release."));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

// One About dialog at a time, over the window the command came from.
void showAboutBox()
{
    static QPointer<AboutDialog> open;
    if (!open) {
        open = new AboutDialog(QApplication::activeWindow());
        open->setAttribute(Qt::WA_DeleteOnClose);
    }
    open->show();
    open->raise();
    open->activateWindow();
}

// The screen a new window opens on: the one under the library window when that is shown.
const QScreen* screenFor(const QWidget* near)
{
    if (near && near->isVisible() && near->screen())
        return near->screen();
    return QGuiApplication::primaryScreen();
}

// A size no larger than the share of the screen's available area a new window may take.
QSize fitted(QSize wanted, const QScreen* screen)
{
    if (!screen)
        return wanted;
    const QSize room = (QSizeF(screen->availableGeometry().size()) * AppDelegate::screenShare).toSize();
    return wanted.boundedTo(room);
}

// Places the window's frame in the middle of the rectangle, inside the screen's available area.
void centreOn(QWidget* window, const QRect& area, const QScreen* screen)
{
    QRect frame(QPoint(0, 0), window->size());
    frame.moveCenter(area.center());
    if (screen) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(qBound(available.left(), frame.left(), qMax(available.left(), available.right() - frame.width())));
        frame.moveTop(qBound(available.top(), frame.top(), qMax(available.top(), available.bottom() - frame.height())));
    }
    window->move(frame.topLeft());
}

// A frame as QWidget::saveGeometry writes it: its header, then the frame and normal rectangles.
// Qt restores from a truncated value without complaint (the missing fields read as zero), so a
// value is only offered to restoreGeometry when these parts are all there and sensible.
bool isPlausibleFrame(const QByteArray& frame)
{
    constexpr quint32 geometryMagic = 0x1D9D0CB;
    QDataStream stream(frame);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    QRect frameRect;
    QRect normalRect;
    qint32 screen = 0;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    stream >> magic >> major >> minor >> frameRect >> normalRect >> screen >> maximized >> fullScreen;
    return stream.status() == QDataStream::Ok && magic == geometryMagic && frameRect.isValid() && normalRect.isValid();
}

} // namespace

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    if (!m_services.now)
        m_services.now = [] { return QDateTime::currentDateTimeUtc(); };
    if (!m_services.alerts.accessibilityPrompt)
        m_services.alerts.accessibilityPrompt = [missing = m_services.missingForCapture] {
            return askAccessibility(missing ? missing() : QString());
        };
    if (!m_services.alerts.updatesUnavailable)
        m_services.alerts.updatesUnavailable = tellUpdatesUnavailable;
    if (!m_services.alerts.about)
        m_services.alerts.about = showAboutBox;

    m_toast = std::make_unique<CaptureToastController>(m_services.queue);
    QPointer<AppDelegate> self(this);
    m_captureFlow = std::make_unique<CaptureFlow>(CaptureFlow::Services {
        m_services.store,
        m_services.workspace,
        m_services.feedback,
        [self] { return self && self->isTrusted(); },
        [self] {
            if (self)
                self->showMainWindow();
        },
        [self] {
            if (self)
                self->showAccessibilityPrompt();
        },
        [self](const CaptureToastView& view) {
            if (self)
                self->m_toast->present(view);
        },
        [self](const Selection& selection, bool added) {
            if (self)
                self->m_toast->showSaved(selection, added);
        },
        m_services.startCapture,
        m_services.now,
        0,
    });
    m_menuBar = std::make_unique<MenuBar>(*this);
    // The menu bar owns nothing of the delegate: it is destroyed here, not as a child.
    m_menuBar->setParent(nullptr);
}

AppDelegate::~AppDelegate()
{
    m_statusItem.reset();
    delete m_mainWindow.data();
    delete m_settingsWindow.data();
}

AppDelegate* AppDelegate::shared()
{
    return sharedDelegate.data();
}

bool AppDelegate::handOff(
    InstanceChannel& channel, const InstanceChannel::RunningInstance& running, const std::shared_ptr<MainQueue>& queue)
{
    FileLogger::start();
    logMP(QStringLiteral("Tessellon launched (bundle ") + QString::fromLatin1(AppIdentity::bundleIdentifier)
        + QLatin1Char(')'));
    logMP(QStringLiteral("Another Tessellon instance found (pid ") + QString::number(running.processIdentifier)
        + QStringLiteral("); delegating"));
    // The request also asks the running instance to bring its window forward.
    if (!channel.sendShowWindowRequest()) {
        logMP(QStringLiteral("The running instance did not take the show-window request; starting in its place"));
        channel.takeOver();
        return false;
    }
    queue->asyncAfter(handOffQuitDelay, work([] { QCoreApplication::quit(); }));
    return true;
}

void AppDelegate::finishLaunching(const QStringList& arguments, std::chrono::milliseconds sinceProcessStart)
{
    sharedDelegate = this;
    FileLogger::start();
    logMP(QStringLiteral("Tessellon launched (bundle ") + QString::fromLatin1(AppIdentity::bundleIdentifier)
        + QLatin1Char(')'));
    if (m_services.migrationLogMessage)
        logMP(*m_services.migrationLogMessage);
    if (const auto problem = AppSettings(m_services.settings).storageProblem())
        logMP(*problem);

    if (m_services.channel) {
        connect(m_services.channel, &InstanceChannel::showWindowRequested, this,
            &AppDelegate::showMainWindowFromNotification);
        // Leaving the library window ends the merging of show-window requests: the next one
        // brings it back.
        connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
            if (!isMainWindowActive())
                m_showRequestPending = false;
        });
    }

    // The updater needs nothing at launch: this build reports it unavailable when asked.
    setupStatusItem();
    registerHotKey();

    QPointer<AppDelegate> self(this);
    // A step whose time has passed while the library loaded runs as soon as launching is done;
    // those due together keep their order (the alert, the window, the capture).
    const auto afterLaunch = [sinceProcessStart](std::chrono::milliseconds delay) {
        return std::max(delay - sinceProcessStart, std::chrono::milliseconds::zero());
    };
    // The library's state does not change below (the samples leave it usable), so its part of the
    // alert's condition is read now; trust is read when the alert is due, by when the desktop has
    // answered.
    if (m_services.store.persistenceStatus().shouldShowLaunchAccessibilityPrompt(false)) {
        m_services.queue->asyncAfter(afterLaunch(accessibilityPromptDelay), work([self] {
            if (self && self->store().persistenceStatus().shouldShowLaunchAccessibilityPrompt(self->isTrusted()))
                self->showAccessibilityPrompt();
        }));
    }
    const bool showWindow = arguments.contains(QStringLiteral("-showWindowOnLaunch"));
    if (showWindow)
        m_services.queue->asyncAfter(afterLaunch(showWindowFlagDelay), work([self] {
            if (self)
                self->showMainWindow();
        }));
    if (arguments.contains(QStringLiteral("-captureOnLaunch")))
        m_services.queue->asyncAfter(afterLaunch(captureFlagDelay), work([self] {
            if (self)
                self->captureNow();
        }));
    // Before any delayed step runs: the window opens on the seeded library.
    if (showWindow && m_services.store.selections().isEmpty()) {
        for (const Selection& sample : SampleData::sampleSelections(m_services.now()))
            m_services.store.add(sample);
    }
    // Without a tray nothing else would show that Tessellon runs: the library window opens (and
    // with an empty library, the welcome sheet on it).
    if (!showWindow && !isTrayAvailable())
        showMainWindow();
}

void AppDelegate::setupStatusItem()
{
    if (!m_services.showStatusItem)
        return;
    m_statusItem = std::make_unique<StatusItem>(m_menuBar->buildStatusMenu(), isTrayAvailable());
}

bool AppDelegate::isTrayAvailable() const
{
    return m_services.isTrayAvailable ? m_services.isTrayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void AppDelegate::registerHotKey()
{
    HotKeyManager& hotKeys = m_services.hotKeys;
    QPointer<AppDelegate> self(this);
    hotKeys.onCapture = [self] {
        if (self)
            self->captureNow();
    };
    // The status menu names the shortcut that works, also after a change in Settings.
    connect(&hotKeys, &HotKeyManager::comboRegistered, this,
        [this, &hotKeys](const HotKeyCombo& combo) { m_menuBar->retitleCapture(hotKeys.display(combo)); });
    if (hotKeys.registerCombo(hotKeys.currentCombo()))
        return;
    const HotKeyCombo fallback = HotKeyCombo::defaultCombo();
    if (hotKeys.registerCombo(fallback))
        logMP(QStringLiteral("Chosen hotkey was taken; fell back to ") + hotKeys.display(fallback));
    else
        logMP(QStringLiteral("No hotkey could be registered"));
}

QMainWindow* AppDelegate::mainWindow() const
{
    return m_mainWindow.data();
}

QWidget* AppDelegate::settingsWindow() const
{
    return m_settingsWindow.data();
}

void AppDelegate::showMainWindow()
{
    if (!m_mainWindow) {
        auto* window = new QMainWindow;
        window->setObjectName(QStringLiteral("TessellonMainWindow"));
        window->setWindowTitle(QStringLiteral("Tessellon"));
        window->setWindowIcon(AppIcon::icon());
        // On a small or scaled screen the window gives up size before it leaves the screen.
        const QScreen* screen = QGuiApplication::primaryScreen();
        window->setMinimumSize(fitted(mainWindowMinimumSize, screen));
        window->setMenuBar(m_menuBar->buildMenuBar(window));
        if (m_services.mainContent)
            window->setCentralWidget(m_services.mainContent(window));
        window->resize(fitted(mainWindowSize, screen));
        // A stored frame that does not restore (damaged, or from another screen set-up) is
        // ignored and the window starts centred.
        const QByteArray frame = ShellSettings(&m_services.settings).mainWindowFrame();
        if (!isPlausibleFrame(frame) || !window->restoreGeometry(frame)) {
            window->resize(fitted(mainWindowSize, screen));
            if (screen)
                centreOn(window, screen->availableGeometry(), screen);
        }
        window->installEventFilter(this);
        m_mainWindow = window;
    }
    bringForward(m_mainWindow);
    emit mainWindowShown();
}

void AppDelegate::showSettings()
{
    if (!m_settingsWindow) {
        auto* window = new QWidget(nullptr,
            Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                | Qt::WindowMaximizeButtonHint);
        window->setObjectName(QStringLiteral("TessellonSettingsWindow"));
        window->setWindowTitle(QStringLiteral("Settings"));
        window->setWindowIcon(AppIcon::icon());
        const QScreen* screen = screenFor(m_mainWindow);
        window->setMinimumSize(fitted(settingsWindowMinimumSize, screen));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        SettingsView::Inputs inputs
            = SettingsView::live(m_services.hotKeys, m_services.loginItems, m_services.store.storeURL(),
                AppSettings(m_services.settings).storageProblem());
        inputs.layout = m_services.keyLayout;
        layout->addWidget(new SettingsView(std::move(inputs), window));
        // The menu bar's window shortcuts (New Prompt…, Focus Search, Close Window, Quit, …) work
        // here too, and Escape closes the window.
        window->addActions(m_menuBar->windowShortcuts());
        auto* escape = new QAction(window);
        escape->setShortcut(QKeySequence(Qt::Key_Escape));
        connect(escape, &QAction::triggered, window, &QWidget::close);
        window->addAction(escape);
        window->resize(fitted(settingsWindowSize, screen));
        // The saved frame; without one the window manager places the new window, as it places
        // any window a program opens (not centred over the library window).
        const QByteArray frame = ShellSettings(&m_services.settings).settingsWindowFrame();
        if (isPlausibleFrame(frame))
            window->restoreGeometry(frame);
        window->installEventFilter(this);
        m_settingsWindow = window;
    } else if (!m_settingsWindow->isVisible()) {
        // Closing gave up the native window, and the window manager would place a new one as it
        // places any new window: it opens again where the user left it.
        m_settingsWindow->move(m_settingsWindow->pos());
    }
    bringForward(m_settingsWindow);
}

void AppDelegate::bringForward(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
    // A sheet open on the window keeps the keyboard: it is what the user answers first.
    const auto dialogs = window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
    for (QDialog* sheet : dialogs) {
        if (sheet->isVisible() && sheet->isModal()) {
            sheet->raise();
            sheet->activateWindow();
        }
    }
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // Frames are kept when a window closes, as well as when the program quits; the windows that
    // the quit closes keep the frames the quit saved.
    if (event->type() == QEvent::Close && !m_terminated && (watched == m_mainWindow || watched == m_settingsWindow))
        saveWindowFrames();
    return QObject::eventFilter(watched, event);
}

void AppDelegate::saveWindowFrames()
{
    ShellSettings settings(&m_services.settings);
    if (m_mainWindow)
        settings.setMainWindowFrame(m_mainWindow->saveGeometry());
    if (m_settingsWindow)
        settings.setSettingsWindowFrame(m_settingsWindow->saveGeometry());
}

void AppDelegate::postAfterWindowReady(const QString& name)
{
    // A window already in front needs no time to appear: the command acts at once, so that
    // typing right after it reaches the field it focuses.
    const bool inFront = m_mainWindow && m_mainWindow->isVisible() && !m_mainWindow->isMinimized()
        && m_mainWindow->isActiveWindow();
    showMainWindow();
    if (inFront) {
        if (m_services.postNotification)
            m_services.postNotification(name);
        return;
    }
    QPointer<AppDelegate> self(this);
    m_services.queue->asyncAfter(notificationDelay, work([self, name] {
        if (self && self->m_services.postNotification)
            self->m_services.postNotification(name);
    }));
}

void AppDelegate::openPromptAction()
{
    if (m_services.store.canModifyLibrary())
        postAfterWindowReady(QStringLiteral("TessellonOpenPrompt"));
}

void AppDelegate::menuNewPrompt()
{
    if (m_services.store.canModifyLibrary())
        postAfterWindowReady(QStringLiteral("TessellonNewPrompt"));
}

void AppDelegate::menuFocusSearch()
{
    postAfterWindowReady(QStringLiteral("TessellonFocusSearch"));
}

void AppDelegate::toggleCollectingAction()
{
    Store& store = m_services.store;
    if (store.canModifyLibrary()) {
        store.setCollectIntoActiveDraft(!store.collectIntoActiveDraft());
        logMP(store.collectIntoActiveDraft() ? QStringLiteral("Collect into Prompt: ON")
                                             : QStringLiteral("Collect into Prompt: OFF"));
    }
    // A checkable item flips itself when clicked: the store's switch decides the mark.
    m_menuBar->collectIntoPrompt->setChecked(store.collectIntoActiveDraft());
}

void AppDelegate::checkForUpdates()
{
    if (m_services.updater.isAvailable())
        m_services.updater.checkForUpdates();
    else
        m_services.alerts.updatesUnavailable();
}

void AppDelegate::showAccessibilityPrompt()
{
    // One alert at a time: a press of the hotkey while it is open brings it forward.
    if (m_accessibilityPromptOpen) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == accessibilityAlertName && window->isVisible()) {
                window->raise();
                window->activateWindow();
            }
        }
        return;
    }
    m_accessibilityPromptOpen = true;
    const bool turnOn = m_services.alerts.accessibilityPrompt();
    m_accessibilityPromptOpen = false;
    if (turnOn)
        openAccessibilitySettings();
}

void AppDelegate::showMainWindowFromNotification()
{
    // A burst of requests brings the window forward once, not once a request: the window
    // manager would go on taking the focus from the user's next program long after the burst.
    // A request is merged into the one before while that one settles, and until the user leaves
    // the window it brought forward; one that finds the window in front has nothing to do.
    // A window the user has minimised or closed since is always brought back.
    const bool windowUp = m_mainWindow && m_mainWindow->isVisible() && !m_mainWindow->isMinimized();
    if (m_showRequestPending && windowUp)
        return;
    m_showRequestPending = true;
    logMP(QStringLiteral("Show-window request from another instance"));
    if (!isMainWindowActive())
        showMainWindow();
    QPointer<AppDelegate> self(this);
    m_services.queue->asyncAfter(showRequestSettling, work([self] {
        if (self)
            self->m_showRequestPending = false;
    }));
}

bool AppDelegate::isMainWindowActive() const
{
    if (!m_mainWindow || !m_mainWindow->isVisible() || m_mainWindow->isMinimized())
        return false;
    // A sheet on the window counts as the window.
    for (const QWidget* window = QApplication::activeWindow(); window; window = window->parentWidget())
        if (window == m_mainWindow)
            return true;
    return false;
}

void AppDelegate::showAbout()
{
    m_services.alerts.about();
}

void AppDelegate::hideApplication()
{
    for (QWidget* window : {static_cast<QWidget*>(m_mainWindow.data()), m_settingsWindow.data()})
        if (window)
            window->hide();
}

void AppDelegate::closeActiveWindow()
{
    if (QWidget* window = QApplication::activeWindow())
        window->close();
}

void AppDelegate::captureNow()
{
    m_captureFlow->captureNow();
}

void AppDelegate::openAccessibilitySettings()
{
    if (m_services.trust)
        m_services.trust->requestAccessibility();
}

bool AppDelegate::isTrusted()
{
    return m_services.trust && m_services.trust->isTrusted();
}

void AppDelegate::watchTrust(QObject* context, std::function<void()> changed)
{
    if (m_services.trust && context)
        connect(m_services.trust, &AccessibilityTrust::trustChanged, context,
            [changed = std::move(changed)] { changed(); });
}

QString AppDelegate::hotkeyDisplay()
{
    return m_services.hotKeys.display(m_services.hotKeys.currentCombo());
}

void AppDelegate::terminate()
{
    if (m_terminated)
        return;
    // Before the wait: a Quit or a signal that its event loop delivers finds the quit under way.
    m_terminated = true;
    // The capture puts the user's clipboard back through this thread's event loop: let it.
    if (!m_captureFlow->waitUntilIdle(quitCaptureBound))
        logMP(QStringLiteral("Quitting while a capture is still running"));
    runTerminationSteps();
    emit terminating();
    QCoreApplication::quit();
}

void AppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    runTerminationSteps();
}

void AppDelegate::runTerminationSteps()
{
    saveWindowFrames();
    {
        // The settings file is written while the library is saved, not after it.
        const std::future<void> settingsWritten = AppSettings(m_services.settings).syncApart();
        m_services.store.saveNow();
    }
    // What the save posted back (its status) arrives before the process ends.
    QCoreApplication::sendPostedEvents();
    m_services.hotKeys.unregisterCombo();
    logMP(QStringLiteral("Tessellon terminated"));
    FileLogger::flush();
}
