// The application delegate over doubles: the launch steps and flags, the hotkey at launch, the
// menu commands, the windows and their frames, the show-window request, and quitting.

#include "../ReviewImage.h"
#include "AppHarness.h"
#include "Zubra/App/MenuBar.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "support/TestMain.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace std::chrono_literals;

namespace {

const HotKeyCombo ctrlShiftV {9, HotKeyCombo::control | HotKeyCombo::shift};
const MemoryHotKeyService::Shortcut defaultShortcut {8, 0x1900};

Selection someSelection()
{
    return Selection::make(QUuid::createUuid(), QStringLiteral("kept"), std::nullopt, QStringLiteral("Editor"),
        std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC));
}

} // namespace

Q_DECLARE_METATYPE(ShellFixture::Library)

class TestAppDelegate : public QObject
{
    Q_OBJECT

private slots:
    void launchLinesAndShared();
    void launchFlags_data();
    void launchFlags();
    void launchStepsCountFromTheProcessStart_data();
    void launchStepsCountFromTheProcessStart();
    void withoutTrayAPlainStartOpensTheWindow();
    void oneAccessibilityAlertAtATime();
    void accessibilityPromptAtLaunch_data();
    void accessibilityPromptAtLaunch();
    void accessibilityPromptWhenTheDesktopAnswersLate();
    void hotKeyAtLaunch_data();
    void hotKeyAtLaunch();
    void statusMenuNamesTheRegisteredShortcut();
    void commands_data();
    void commands();
    void commandsInFrontActAtOnce();
    void collectIntoPrompt_data();
    void collectIntoPrompt();
    void accessibilityAndUpdates();
    void mainWindow();
    void menuBarAsOnLinux_data();
    void menuBarAsOnLinux();
    void statusMenuShowsItsKeys();
    void editCommandsGoToTheFocusWidget();
    void windowFrames_data();
    void windowFrames();
    void settingsFileWrittenOnlyForChanges_data();
    void settingsFileWrittenOnlyForChanges();
    void settingsWindow();
    void settingsWindowPlacement_data();
    void settingsWindowPlacement();
    void settingsWindowAnswersTheWindowShortcuts_data();
    void settingsWindowAnswersTheWindowShortcuts();
    void showWindowRequest_data();
    void showWindowRequest();
    void handOffTouchesNoLibrary();
    void undeliveredHandOffStartsThisInstance();
    void quitWaitsForTheCaptureAndSaves();
};

void TestAppDelegate::launchLinesAndShared()
{
    AppHarness h;
    QCOMPARE(AppDelegate::shared(), nullptr);
    h.delegate->finishLaunching({"tessellon"});
    QCOMPARE(AppDelegate::shared(), h.delegate.get());
    QCOMPARE(h.fixture.appLines().first(), QStringLiteral("Tessellon launched (bundle com.vesk.tessellon)"));
    h.delegate.reset();
    QCOMPARE(AppDelegate::shared(), nullptr); // a weak reference
}

void TestAppDelegate::launchFlags_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("libraryEmpty");
    QTest::addColumn<bool>("showsWindow");
    QTest::addColumn<int>("selectionsAfterLaunch");
    QTest::addColumn<bool>("captures");
    QTest::newRow("no flags") << QStringList {"tessellon"} << true << false << 0 << false;
    QTest::newRow("show window, empty library") << QStringList {"tessellon", "-showWindowOnLaunch"} << true << true
                                                << 6 << false;
    QTest::newRow("show window, library in use") << QStringList {"tessellon", "-showWindowOnLaunch"} << false << true
                                                 << 1 << false;
    QTest::newRow("capture") << QStringList {"tessellon", "-captureOnLaunch"} << true << false << 0 << true;
    QTest::newRow("both") << QStringList {"tessellon", "-captureOnLaunch", "-showWindowOnLaunch"} << true << true << 6
                          << true;
    QTest::newRow("other spelling is no flag") << QStringList {"tessellon", "--showWindowOnLaunch"} << true << false
                                               << 0 << false;
}

void TestAppDelegate::launchFlags()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, libraryEmpty);
    QFETCH(bool, showsWindow);
    QFETCH(int, selectionsAfterLaunch);
    QFETCH(bool, captures);
    AppHarness h;
    if (!libraryEmpty)
        h.fixture.store->add(someSelection());
    h.delegate->finishLaunching(arguments);
    // The samples are in the library before the window opens, dated from now.
    QCOMPARE(h.fixture.store->selections().size(), selectionsAfterLaunch);
    if (selectionsAfterLaunch == 6) {
        QDateTime newest;
        for (const Selection& s : h.fixture.store->selections())
            newest = std::max(newest, s.createdAt);
        QCOMPARE(newest, QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9), Qt::UTC).addSecs(-720));
    }
    QVERIFY(!h.delegate->mainWindow());
    h.advance(599ms);
    QVERIFY(!h.delegate->mainWindow());
    h.advance(1ms);
    QCOMPARE(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible(), showsWindow);
    h.advance(599ms);
    QVERIFY(h.captures.isEmpty());
    h.advance(1ms);
    QCOMPARE(h.captures.size(), captures ? 1 : 0);
}

void TestAppDelegate::launchStepsCountFromTheProcessStart_data()
{
    QTest::addColumn<int>("sinceStart"); // ms the process ran before launching finished
    QTest::addColumn<int>("promptAt"); // ms after launching finished
    QTest::addColumn<int>("windowAt");
    QTest::addColumn<int>("captureAt");
    QTest::newRow("quick load") << 0 << 400 << 600 << 1200;
    QTest::newRow("load took part of the wait") << 250 << 150 << 350 << 950;
    QTest::newRow("load outlasted the alert's wait") << 500 << 0 << 100 << 700;
    QTest::newRow("load outlasted every wait") << 1500 << 0 << 0 << 0;
}

void TestAppDelegate::launchStepsCountFromTheProcessStart()
{
    QFETCH(int, sinceStart);
    QFETCH(int, promptAt);
    QFETCH(int, windowAt);
    QFETCH(int, captureAt);
    AppHarness h;
    h.trust.setTrusted(false);
    std::optional<bool> windowOpenAtPrompt;
    h.whileAccessibilityPromptOpen = [&] {
        windowOpenAtPrompt = h.delegate->mainWindow() != nullptr;
        h.trust.setTrusted(true); // granted from the alert: the capture then runs
    };
    h.delegate->finishLaunching(
        {"tessellon", "-showWindowOnLaunch", "-captureOnLaunch"}, std::chrono::milliseconds(sinceStart));
    // The samples are in before anything delayed runs, also when everything is already due.
    QCOMPARE(h.fixture.store->selections().size(), 6);
    QVERIFY(!h.delegate->mainWindow());
    QCOMPARE(h.accessibilityPrompts, 0);
    struct Step
    {
        int at;
        std::function<bool()> done;
    };
    const QList<Step> steps {
        {promptAt, [&] { return h.accessibilityPrompts == 1; }},
        {windowAt, [&] { return h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible(); }},
        {captureAt, [&] { return h.captures.size() == 1; }},
    };
    int now = 0;
    for (const Step& step : steps) {
        if (step.at > now) {
            h.advance(std::chrono::milliseconds(step.at - 1 - now));
            QVERIFY(!step.done());
            h.advance(1ms);
        } else {
            h.advance(0ms);
        }
        now = std::max(now, step.at);
        QVERIFY(step.done());
    }
    // Due together, they keep their order: the alert came before the window.
    QCOMPARE(windowOpenAtPrompt, std::optional<bool>(false));
}

void TestAppDelegate::withoutTrayAPlainStartOpensTheWindow()
{
    for (const bool tray : {true, false}) {
        AppHarness h;
        h.trayAvailable = tray;
        h.delegate->finishLaunching({"tessellon"});
        // At once: nothing else would show that the program runs.
        QCOMPARE(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible(), !tray);
        if (tray)
            continue;
        // Closing it keeps the program (and its hotkey); a show-window request brings it back.
        h.delegate->mainWindow()->close();
        QVERIFY(!h.delegate->mainWindow()->isVisible());
        QVERIFY(h.hotKeyService.registered);
        h.channel.receiveShowWindowRequest();
        QVERIFY(h.delegate->mainWindow()->isVisible());
    }
}

void TestAppDelegate::oneAccessibilityAlertAtATime()
{
    AppHarness h;
    h.trust.setTrusted(false);
    h.delegate->finishLaunching({"tessellon"});
    // While the alert is open, the hotkey is pressed twice more: no second alert.
    h.whileAccessibilityPromptOpen = [&h] {
        QVERIFY(h.delegate->isAccessibilityPromptOpen());
        QVERIFY(h.hotKeyService.press());
        QVERIFY(h.hotKeyService.press());
    };
    QVERIFY(h.hotKeyService.press());
    QCOMPARE(h.accessibilityPrompts, 1);
    QVERIFY(!h.delegate->isAccessibilityPromptOpen());
    // Once it is answered, the next press asks again.
    QVERIFY(h.hotKeyService.press());
    QCOMPARE(h.accessibilityPrompts, 2);
    QVERIFY(h.captures.isEmpty());
}

void TestAppDelegate::accessibilityPromptAtLaunch_data()
{
    QTest::addColumn<ShellFixture::Library>("library");
    QTest::addColumn<bool>("trustedAtLaunch");
    QTest::addColumn<bool>("trustedLater");
    QTest::addColumn<int>("prompts");
    using L = ShellFixture::Library;
    QTest::newRow("trusted") << L::empty << true << true << 0;
    QTest::newRow("not trusted") << L::empty << false << false << 1;
    QTest::newRow("trust granted in time") << L::empty << false << true << 0;
    QTest::newRow("unreadable library") << L::unreadable << false << false << 0;
    QTest::newRow("incompatible library") << L::incompatible << false << false << 0;
}

void TestAppDelegate::accessibilityPromptAtLaunch()
{
    QFETCH(ShellFixture::Library, library);
    QFETCH(bool, trustedAtLaunch);
    QFETCH(bool, trustedLater);
    QFETCH(int, prompts);
    AppHarness h(library);
    h.trust.setTrusted(trustedAtLaunch);
    h.delegate->finishLaunching({"tessellon"});
    h.advance(399ms);
    QCOMPARE(h.accessibilityPrompts, 0);
    h.trust.setTrusted(trustedLater);
    h.advance(1ms);
    QCOMPARE(h.accessibilityPrompts, prompts);
}

// The desktop's answer comes after the launch steps (a slow bus): the alert still asks when due.
void TestAppDelegate::accessibilityPromptWhenTheDesktopAnswersLate()
{
    AppHarness h;
    h.trust.setBusState(AccessibilityBusState::unknown);
    h.delegate->finishLaunching({"tessellon"});
    h.advance(200ms);
    h.trust.setTrusted(false);
    h.advance(200ms);
    QCOMPARE(h.accessibilityPrompts, 1);
}

void TestAppDelegate::hotKeyAtLaunch_data()
{
    QTest::addColumn<QList<MemoryHotKeyService::Shortcut>>("taken");
    QTest::addColumn<std::optional<MemoryHotKeyService::Shortcut>>("registered");
    QTest::addColumn<QString>("logLine"); // empty: none about the hotkey
    QTest::newRow("chosen one free") << QList<MemoryHotKeyService::Shortcut> {}
                                     << std::optional(MemoryHotKeyService::Shortcut {9, 0x1200}) << "";
    QTest::newRow("chosen one taken") << QList<MemoryHotKeyService::Shortcut> {{9, 0x1200}}
                                      << std::optional(defaultShortcut)
                                      << "Chosen hotkey was taken; fell back to Ctrl+Alt+Super+C";
    QTest::newRow("both taken") << QList<MemoryHotKeyService::Shortcut> {{9, 0x1200}, defaultShortcut}
                                << std::optional<MemoryHotKeyService::Shortcut>() << "No hotkey could be registered";
}

void TestAppDelegate::hotKeyAtLaunch()
{
    QFETCH(QList<MemoryHotKeyService::Shortcut>, taken);
    QFETCH(std::optional<MemoryHotKeyService::Shortcut>, registered);
    QFETCH(QString, logLine);
    AppHarness h(ShellFixture::Library::empty, ctrlShiftV, taken);
    h.delegate->finishLaunching({"tessellon"});
    QCOMPARE(h.hotKeyService.registered, registered);
    const QStringList lines = h.fixture.appLines();
    QCOMPARE(lines.contains(logLine), !logLine.isEmpty());
    // A press of the registered shortcut captures.
    QCOMPARE(h.hotKeyService.press(), registered.has_value());
    QCOMPARE(h.captures.size(), registered ? 1 : 0);
}

void TestAppDelegate::statusMenuNamesTheRegisteredShortcut()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    QAction* capture = h.delegate->menuBar().captureSelection;
    QCOMPARE(capture->text(), QStringLiteral("Capture Selection  (Ctrl+Alt+Super+C)"));
    QVERIFY(h.hotKeys->registerCombo(ctrlShiftV));
    QCOMPARE(capture->text(), QStringLiteral("Capture Selection  (Ctrl+Shift+V)"));
    // A refused shortcut leaves the one that works in the title.
    h.hotKeyService.taken.append({49, HotKeyCombo::option});
    QVERIFY(!h.hotKeys->registerCombo({49, HotKeyCombo::option}));
    QCOMPARE(capture->text(), QStringLiteral("Capture Selection  (Ctrl+Shift+V)"));
}

void TestAppDelegate::commands_data()
{
    QTest::addColumn<ShellFixture::Library>("library");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("notification"); // empty: nothing happens at all
    using L = ShellFixture::Library;
    QTest::newRow("new prompt") << L::empty << "newPrompt"
                                << "TessellonNewPrompt";
    QTest::newRow("go to prompt") << L::empty << "goToPrompt"
                                  << "TessellonOpenPrompt";
    QTest::newRow("open prompt") << L::empty << "openPrompt"
                                 << "TessellonOpenPrompt";
    QTest::newRow("focus search") << L::empty << "focusSearch"
                                  << "TessellonFocusSearch";
    QTest::newRow("new prompt, read-only") << L::unreadable << "newPrompt"
                                           << "";
    QTest::newRow("go to prompt, read-only") << L::incompatible << "goToPrompt"
                                             << "";
    QTest::newRow("focus search, read-only") << L::unreadable << "focusSearch"
                                             << "TessellonFocusSearch";
}

void TestAppDelegate::commands()
{
    QFETCH(ShellFixture::Library, library);
    QFETCH(QString, command);
    QFETCH(QString, notification);
    AppHarness h(library);
    h.delegate->finishLaunching({"tessellon"});
    MenuBar& menus = h.delegate->menuBar();
    QAction* action = command == u"newPrompt" ? menus.newPrompt
        : command == u"goToPrompt"            ? menus.goToPrompt
        : command == u"openPrompt"            ? menus.openPrompt
                                              : menus.focusSearch;
    // The menus are built with the library's state, and the command checks it again itself.
    if (command != u"focusSearch")
        QCOMPARE(action->isEnabled(), library == ShellFixture::Library::empty);
    action->setEnabled(true);
    action->trigger();
    QCOMPARE(h.delegate->mainWindow() != nullptr, !notification.isEmpty());
    h.advance(349ms);
    QVERIFY(h.notifications.isEmpty());
    h.advance(1ms);
    QCOMPARE(h.notifications, notification.isEmpty() ? QStringList() : QStringList {notification});
}

void TestAppDelegate::commandsInFrontActAtOnce()
{
    AppHarness h(ShellFixture::Library::empty);
    h.delegate->finishLaunching({"tessellon"});
    h.delegate->showMainWindow();
    QMainWindow* window = h.delegate->mainWindow();
    QVERIFY(window);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    h.notifications.clear();
    h.delegate->menuBar().focusSearch->trigger();
    QCOMPARE(h.notifications, QStringList {u"TessellonFocusSearch"_qs});
    // Nothing in the window can be undone, so Undo is not offered.
    QVERIFY(!h.delegate->menuBar().undo->isEnabled());

    // A window sent away first comes forward, then the command follows after the wait.
    window->showMinimized();
    h.notifications.clear();
    h.delegate->menuBar().focusSearch->trigger();
    QVERIFY(h.notifications.isEmpty());
    h.advance(350ms);
    QCOMPARE(h.notifications, QStringList {u"TessellonFocusSearch"_qs});
}

void TestAppDelegate::collectIntoPrompt_data()
{
    QTest::addColumn<ShellFixture::Library>("library");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("usable library") << ShellFixture::Library::empty << true;
    QTest::newRow("read-only library") << ShellFixture::Library::unreadable << false;
}

void TestAppDelegate::collectIntoPrompt()
{
    QFETCH(ShellFixture::Library, library);
    QFETCH(bool, toggles);
    AppHarness h(library);
    h.trayAvailable = false;
    h.delegate->finishLaunching({"tessellon"});
    QAction* item = h.delegate->menuBar().collectIntoPrompt;
    QVERIFY(item->isCheckable());
    QVERIFY(!item->isChecked());
    // Without a tray the window's File menu offers the same item: its text, mark and rule.
    h.delegate->showMainWindow();
    const QList<QAction*> fileItems = h.delegate->mainWindow()->menuBar()->actions().at(0)->menu()->actions();
    QVERIFY(fileItems.contains(item));
    QCOMPARE(item->text(), QStringLiteral("Collect into Prompt"));
    QCOMPARE(item->isEnabled(), toggles);
    item->setEnabled(true);
    item->trigger(); // a click flips the mark before the command runs
    QCOMPARE(h.fixture.store->collectIntoActiveDraft(), toggles);
    QCOMPARE(item->isChecked(), toggles);
    QCOMPARE(h.fixture.appLines().contains(QStringLiteral("Collect into Prompt: ON")), toggles);
    item->trigger();
    QVERIFY(!h.fixture.store->collectIntoActiveDraft());
    QVERIFY(!item->isChecked());
    QCOMPARE(h.fixture.appLines().contains(QStringLiteral("Collect into Prompt: OFF")), toggles);
}

void TestAppDelegate::accessibilityAndUpdates()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    h.delegate->menuBar().checkForUpdates->trigger();
    QCOMPARE(h.updateAlerts, 1);

    h.delegate->showAccessibilityPrompt(); // "Later"
    QCOMPARE(h.trust.requests, 0);
    h.acceptAccessibilityPrompt = true;
    h.delegate->showAccessibilityPrompt();
    QCOMPARE(h.trust.requests, 1);
    // The welcome sheet reaches the same action through the shell interface.
    ShellActions* shell = AppDelegate::shared();
    shell->openAccessibilitySettings();
    QCOMPARE(h.trust.requests, 2);
    // The windows hear of each change of trust for as long as they live.
    int changes = 0;
    auto window = std::make_unique<QObject>();
    shell->watchTrust(window.get(), [&changes] { ++changes; });
    h.trust.setTrusted(false);
    QVERIFY(!shell->isTrusted());
    h.trust.setTrusted(false);
    QCOMPARE(changes, 1);
    QCOMPARE(shell->hotkeyDisplay(), QStringLiteral("Ctrl+Alt+Super+C"));
    h.trust.setTrusted(true);
    QCOMPARE(changes, 2);
    window.reset();
    h.trust.setTrusted(false);
    h.trust.setTrusted(true);
    QCOMPARE(changes, 2);
    shell->captureNow();
    QCOMPARE(h.captures.size(), 1);
}

void TestAppDelegate::mainWindow()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    h.delegate->showMainWindow();
    QMainWindow* window = h.delegate->mainWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessellon"));
    QCOMPARE(window->size(), QSize(1120, 660));
    QCOMPARE(window->minimumSize(), QSize(980, 600));
    QVERIFY(window->centralWidget());
    // Closing keeps the window; showing again brings back the same one.
    window->close();
    QVERIFY(!window->isVisible());
    h.delegate->showMainWindow();
    QCOMPARE(h.delegate->mainWindow(), window);
    QVERIFY(window->isVisible());
}

void TestAppDelegate::menuBarAsOnLinux_data()
{
    // Each item as "text<TAB>shortcut" ("-" a separator); "&" marks the mnemonic.
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("File") << 0 << "&File"
                          << QStringList {QString::fromUtf16(u"&New Prompt\u2026\tCtrl+N"), "&Go to Prompt\tCtrl+Shift+P",
                                 "Collect into Prompt\t", "-", "&Close Window\tCtrl+W", "&Hide Tessellon\tCtrl+H", "-", "&Quit Tessellon\tCtrl+Q"};
    QTest::newRow("Edit") << 1 << "&Edit"
                          << QStringList {"&Undo\tCtrl+Z", "&Redo\tCtrl+Shift+Z", "-", "Cu&t\tCtrl+X", "&Copy\tCtrl+C",
                                 "&Paste\tCtrl+V", "Select &All\tCtrl+A", "-",
                                 QString::fromUtf16(u"&Settings\u2026\tCtrl+,")};
    QTest::newRow("View") << 2 << "&View" << QStringList {"Focus &Search\tCtrl+F"};
    QTest::newRow("Help") << 3 << "&Help"
                          << QStringList {QString::fromUtf16(u"Check for &Updates\u2026\t"), "-", "&About Tessellon\t"};
}

void TestAppDelegate::menuBarAsOnLinux()
{
    QFETCH(int, index);
    QFETCH(QString, title);
    QFETCH(QStringList, items);
    AppHarness h;
    h.delegate->showMainWindow();
    const QList<QAction*> menus = h.delegate->mainWindow()->menuBar()->actions();
    QCOMPARE(menus.size(), 4);
    QCOMPARE(menus.at(index)->text(), title);
    QStringList found;
    for (QAction* action : menus.at(index)->menu()->actions())
        found << (action->isSeparator() ? QStringLiteral("-")
                                        : action->text() + u'\t' + action->shortcut().toString());
    QCOMPARE(found, items);
    // Each mnemonic letter is used once in its menu.
    QSet<QChar> letters;
    for (const QString& item : items) {
        const qsizetype amp = item.indexOf(u'&');
        if (amp < 0)
            continue;
        QVERIFY2(!letters.contains(item.at(amp + 1).toLower()), qPrintable(item));
        letters.insert(item.at(amp + 1).toLower());
    }
}

void TestAppDelegate::statusMenuShowsItsKeys()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    std::unique_ptr<QMenu> menu(h.delegate->menuBar().buildStatusMenu());
    QStringList titles, keys;
    for (QAction* action : menu->actions()) {
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
        keys << action->shortcut().toString();
    }
    // Shown in the menu, answered while it is open (the status item's own test presses them).
    QCOMPARE(keys, (QStringList {"Ctrl+1", "Ctrl+2", "Ctrl+N", "Ctrl+3", "", "", "", "Ctrl+,", "", "Ctrl+Q"}));
    QCOMPARE(titles,
        (QStringList {"Open Tessellon", "Capture Selection  (Ctrl+Alt+Super+C)", QString::fromUtf16(u"New Prompt\u2026"),
            QString::fromUtf16(u"Open Prompt\u2026"), "Collect into Prompt", "-",
            QString::fromUtf16(u"Check for Updates\u2026"), QString::fromUtf16(u"Settings\u2026"), "-",
            "Quit Tessellon"}));
    // The capture item names the global hotkey once.
    QCOMPARE(titles.at(1).count(QStringLiteral("Ctrl+Alt+Super+C")), 1);
    // Each title and its key side by side, in either scheme.
    for (const auto scheme : {AppScreenshotExporter::ColorScheme::light, AppScreenshotExporter::ColorScheme::dark}) {
        const bool dark = scheme == AppScreenshotExporter::ColorScheme::dark;
        menu->setPalette(AppScreenshotExporter::palette(scheme));
        menu->adjustSize();
        QVERIFY(menu->width() > menu->fontMetrics().horizontalAdvance(titles.at(1) + u"    Ctrl+2"_s));
        ReviewImage::saveForReview(menu->grab().toImage(),
            u"status-menu-"_s + (dark ? u"dark"_s : u"light"_s) + u"-scale-"_s
                + qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s));
    }
}

void TestAppDelegate::editCommandsGoToTheFocusWidget()
{
    AppHarness h;
    h.delegate->showMainWindow();
    auto* field = new QLineEdit(QStringLiteral("some words"), h.delegate->mainWindow());
    h.delegate->mainWindow()->setCentralWidget(field);
    QApplication::setActiveWindow(h.delegate->mainWindow());
    field->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), field);
    MenuBar& menus = h.delegate->menuBar();
    menus.selectAll->trigger();
    QCOMPARE(field->selectedText(), QStringLiteral("some words"));
    menus.cut->trigger();
    QCOMPARE(field->text(), QString());
    menus.undo->trigger();
    QCOMPARE(field->text(), QStringLiteral("some words"));
    // A focus widget without the command is left alone.
    auto* label = new QLabel(h.delegate->mainWindow());
    label->setFocusPolicy(Qt::StrongFocus);
    label->show();
    label->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), label);
    QVERIFY(!MenuBar::sendToFocusWidget("paste"));
}

void TestAppDelegate::windowFrames_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("restores");
    QTest::newRow("nothing stored") << QByteArray() << false;
    QTest::newRow("damaged value") << QByteArray("not a frame") << false;
    QTest::newRow("truncated frame") << QByteArray("\x01\xd9\xd0\xcb\x00\x03", 6) << false;
    QTest::newRow("saved frame") << QByteArray("<saved>") << true;
}

void TestAppDelegate::windowFrames()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, restores);
    QByteArray saved;
    {
        // A frame the window itself saved, at another size and place.
        AppHarness first;
        first.delegate->showMainWindow();
        first.delegate->mainWindow()->setGeometry(40, 50, 1000, 640);
        first.delegate->mainWindow()->close();
        saved = ShellSettings(&first.fixture.settings).mainWindowFrame();
        QVERIFY(!saved.isEmpty());
    }
    AppHarness h;
    ShellSettings(&h.fixture.settings).setMainWindowFrame(stored == "<saved>" ? saved : stored);
    h.delegate->showMainWindow();
    QMainWindow* window = h.delegate->mainWindow();
    if (restores) {
        QCOMPARE(window->geometry(), QRect(40, 50, 1000, 640));
    } else {
        QCOMPARE(window->size(), QSize(1120, 660));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        // Centred up to the frame's margins.
        QVERIFY2(qAbs(window->frameGeometry().center().x() - screen.center().x()) <= 4,
            qPrintable(QDebug::toString(window->frameGeometry()) + QDebug::toString(screen)));
    }
}

void TestAppDelegate::settingsFileWrittenOnlyForChanges_data()
{
    QTest::addColumn<QString>("moment");
    QTest::newRow("launch: the stored shortcut registered again") << "launch";
    QTest::newRow("quit: the windows closing after it") << "quit";
}

// Every write of the settings file syncs the disk twice (its lock and the file), on a slow disk
// for most of a second each: a value that did not change is never written, and a quit writes
// the file once.
void TestAppDelegate::settingsFileWrittenOnlyForChanges()
{
    QFETCH(QString, moment);
    AppHarness h(ShellFixture::Library::empty, HotKeyCombo::defaultCombo());
    QSettings& settings = h.fixture.settings;
    // Each write replaces the file, which then stands under another inode.
    const auto written = [&settings] {
        QCoreApplication::processEvents(); // where QSettings writes what is pending
        struct stat info {};
        return ::stat(QFile::encodeName(settings.fileName()).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    if (moment == u"launch") {
        settings.sync();
        const ino_t before = written();
        QVERIFY(before != 0);
        h.delegate->finishLaunching({QStringLiteral("tessellon")});
        QVERIFY(h.hotKeyService.registered);
        QCOMPARE(written(), before);
        return;
    }
    h.delegate->showMainWindow();
    h.delegate->mainWindow()->setGeometry(60, 70, 1000, 640);
    settings.sync();
    const ino_t beforeQuit = written();
    h.delegate->terminate();
    const ino_t atQuit = written();
    QVERIFY(atQuit != beforeQuit);
    QVERIFY(!ShellSettings(&settings).mainWindowFrame().isEmpty());
    h.delegate->mainWindow()->close();
    QCOMPARE(written(), atQuit);
}

void TestAppDelegate::settingsWindow()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    h.delegate->menuBar().settings->trigger();
    QWidget* window = h.delegate->settingsWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(window->size(), QSize(520, 360));
    QCOMPARE(window->minimumSize(), QSize(440, 300));
    QVERIFY(!(window->windowFlags() & Qt::WindowMinimizeButtonHint));
    h.delegate->showSettings();
    QCOMPARE(h.delegate->settingsWindow(), window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
}

void TestAppDelegate::settingsWindowPlacement_data()
{
    QTest::addColumn<bool>("libraryOpen");
    QTest::addColumn<bool>("savedFrame");
    QTest::newRow("alone") << false << false;
    QTest::newRow("library window open") << true << false;
    QTest::newRow("saved frame") << true << true;
}

// A new settings window is placed by the window manager (no position of the program's), also
// with the library window open; once it has a saved frame, it opens there.
void TestAppDelegate::settingsWindowPlacement()
{
    QFETCH(bool, libraryOpen);
    QFETCH(bool, savedFrame);
    QByteArray frame;
    if (savedFrame) {
        AppHarness first;
        first.delegate->showSettings();
        first.delegate->settingsWindow()->setGeometry(70, 80, 600, 400);
        first.delegate->settingsWindow()->close();
        frame = ShellSettings(&first.fixture.settings).settingsWindowFrame();
        QVERIFY(!frame.isEmpty());
    }
    AppHarness h;
    if (!frame.isEmpty())
        ShellSettings(&h.fixture.settings).setSettingsWindowFrame(frame);
    if (libraryOpen)
        h.delegate->showMainWindow();
    h.delegate->showSettings();
    QWidget* window = h.delegate->settingsWindow();
    if (savedFrame) {
        QCOMPARE(window->geometry(), QRect(70, 80, 600, 400));
    } else {
        QVERIFY(!window->testAttribute(Qt::WA_Moved));
        QCOMPARE(window->size(), QSize(520, 360));
    }
}

void TestAppDelegate::settingsWindowAnswersTheWindowShortcuts_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("notification");
    QTest::newRow("new prompt") << "Ctrl+N" << "TessellonNewPrompt";
    QTest::newRow("focus search") << "Ctrl+F" << "TessellonFocusSearch";
    QTest::newRow("go to prompt") << "Ctrl+Shift+P" << "TessellonOpenPrompt";
}

void TestAppDelegate::settingsWindowAnswersTheWindowShortcuts()
{
    QFETCH(QString, keys);
    QFETCH(QString, notification);
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    h.delegate->showMainWindow();
    h.delegate->mainWindow()->move(60, 40);
    h.delegate->showSettings();
    QWidget* window = h.delegate->settingsWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    const QKeySequence sequence(keys);
    QTest::keySequence(window, sequence);
    h.advance(350ms);
    QCOMPARE(h.notifications, QStringList {notification});
}

void TestAppDelegate::showWindowRequest_data()
{
    QTest::addColumn<QString>("inFront"); // the window in front when the requests come
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("shown"); // how often the library window was brought forward
    QTest::newRow("one request, no window yet") << "none" << 1 << 1;
    QTest::newRow("a burst, no window yet") << "none" << 1000 << 1;
    QTest::newRow("a burst, the library window in front") << "library" << 1000 << 0;
    QTest::newRow("a burst, the settings in front") << "settings" << 1000 << 1;
}

// A burst of requests is taken once: it brings the library window forward when something else is
// in front, once. Later requests are merged while it settles and while the window stays in
// front; leaving the window ends that.
void TestAppDelegate::showWindowRequest()
{
    QFETCH(QString, inFront);
    QFETCH(int, requests);
    QFETCH(int, shown);
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    QVERIFY(!h.delegate->mainWindow());
    const auto activate = [](QWidget* window) {
        window->activateWindow();
        return QTest::qWaitForWindowActive(window);
    };
    if (inFront != u"none") {
        h.delegate->showMainWindow();
        QVERIFY(activate(h.delegate->mainWindow()));
    }
    if (inFront == u"settings") {
        h.delegate->showSettings();
        QVERIFY(activate(h.delegate->settingsWindow()));
    }
    QSignalSpy showings(h.delegate.get(), &AppDelegate::mainWindowShown);
    const auto taken
        = [&h] { return h.fixture.appLines().count(QStringLiteral("Show-window request from another instance")); };
    for (int i = 0; i < requests; ++i) {
        h.channel.receiveShowWindowRequest();
        QCoreApplication::processEvents();
    }
    QCOMPARE(taken(), 1);
    QCOMPARE(showings.size(), shown);
    QVERIFY(QTest::qWaitForWindowActive(h.delegate->mainWindow()));

    // Settled, with the window still in front: taken, and nothing to bring forward.
    h.advance(AppDelegate::showRequestSettling);
    h.channel.receiveShowWindowRequest();
    h.channel.receiveShowWindowRequest();
    QCOMPARE(taken(), 2);
    QCOMPARE(showings.size(), shown);
    // The user turns to another window: the next request brings the library window back at once.
    h.delegate->showSettings();
    QVERIFY(activate(h.delegate->settingsWindow()));
    h.channel.receiveShowWindowRequest();
    QCOMPARE(taken(), 3);
    QCOMPARE(showings.size(), shown + 1);
    QVERIFY(QTest::qWaitForWindowActive(h.delegate->mainWindow()));
    // Minimised, then closed, within the settling time: each next request brings it back.
    h.delegate->mainWindow()->showMinimized();
    h.channel.receiveShowWindowRequest();
    QCOMPARE(taken(), 4);
    QCOMPARE(showings.size(), shown + 2);
    QVERIFY(!h.delegate->mainWindow()->isMinimized());
    h.delegate->mainWindow()->close();
    h.channel.receiveShowWindowRequest();
    QCOMPARE(taken(), 5);
    QVERIFY(h.delegate->mainWindow()->isVisible());
}

void TestAppDelegate::handOffTouchesNoLibrary()
{
    ShellFixture fixture;
    auto queue = std::make_shared<ManualMainQueue>();
    MemoryInstanceChannel channel;
    QVERIFY(AppDelegate::handOff(channel, {4321}, queue));
    QCOMPARE(channel.requestsSent, 1);
    QCOMPARE(channel.takeOvers, 0);
    const QStringList lines = fixture.appLines();
    QCOMPARE(lines, (QStringList {"Tessellon launched (bundle com.vesk.tessellon)",
                        "Another Tessellon instance found (pid 4321); delegating"}));
    QCOMPARE(queue->pending(), 1); // the quit, 0.3 s later
    queue->advance(299ms);
    QCOMPARE(queue->pending(), 1);
    queue->advance(1ms);
    QCOMPARE(queue->pending(), 0);
}

void TestAppDelegate::undeliveredHandOffStartsThisInstance()
{
    ShellFixture fixture;
    auto queue = std::make_shared<ManualMainQueue>();
    MemoryInstanceChannel channel;
    channel.delivers = false;
    QVERIFY(!AppDelegate::handOff(channel, {4321}, queue));
    QCOMPARE(channel.takeOvers, 1);
    QCOMPARE(queue->pending(), 0); // no quit: the caller starts this process instead
    QCOMPARE(fixture.appLines().last(),
        QStringLiteral("The running instance did not take the show-window request; starting in its place"));
}

void TestAppDelegate::quitWaitsForTheCaptureAndSaves()
{
    AppHarness h;
    h.delegate->finishLaunching({"tessellon"});
    // A change whose save is still waiting for the save clock, and a capture under way.
    h.fixture.store->add(someSelection());
    h.delegate->captureNow();
    QCOMPARE(h.captures.size(), 1);
    QVERIFY(!QFile::exists(h.fixture.libraryPath()));
    CaptureResult result;
    result.text = QStringLiteral("captured while quitting");
    result.appName = QStringLiteral("Editor");
    QTimer::singleShot(50, [&h, result] { h.captures.first()(result); });
    // A second Quit (or a signal) delivered by the wait's own event loop finds the quit under way:
    // it neither waits a second time nor announces it again.
    bool secondQuitReturned = false;
    QTimer::singleShot(10, [&h, &secondQuitReturned] {
        h.delegate->terminate();
        secondQuitReturned = h.delegate->captureFlow().isCapturing();
    });

    // Announced once, after the library is written: what listens may stop what the quit no
    // longer needs.
    bool savedWhenAnnounced = false;
    QSignalSpy terminating(h.delegate.get(), &AppDelegate::terminating);
    QObject::connect(h.delegate.get(), &AppDelegate::terminating,
        [&] { savedWhenAnnounced = QFile(h.fixture.libraryPath()).exists(); });
    h.delegate->terminate();
    QVERIFY(secondQuitReturned); // at once, while the capture still ran
    QCOMPARE(terminating.size(), 1);
    QVERIFY(savedWhenAnnounced);
    QVERIFY(!h.delegate->captureFlow().isCapturing());
    QFile file(h.fixture.libraryPath());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(h.fixture.appLines().join(u'|')));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("captured while quitting"));
    QVERIFY(bytes.contains("kept"));
    QVERIFY(!h.hotKeyService.registered);
    QCOMPARE(h.fixture.appLines().last(), QStringLiteral("Tessellon terminated"));
    // Quitting twice runs the steps once.
    h.delegate->terminate();
    h.delegate->applicationWillTerminate();
    QCOMPARE(h.fixture.appLines().count(QStringLiteral("Tessellon terminated")), 1);
    QCOMPARE(terminating.size(), 1);
}

TESSELLON_GUI_TEST_MAIN(TestAppDelegate)
#include "tst_AppDelegate.moc"
