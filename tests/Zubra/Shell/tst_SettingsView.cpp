// The settings view: the shortcut recorder's rules on real key events, launch at login against
// the login-item statuses, the live and snapshot values, and a picture for review.

#include "Platform/KeyLayout.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/SettingsView.h"
#include "Zubra/Shell/ShortcutRecorder.h"
#include "Zubra/Widgets/FocusRing.h"
#include "ZubraCore/Support/Logging.h"
#include "support/MemoryHotKeyService.h"
#include "support/MemoryLoginItems.h"
#include "support/RecordingSystemLog.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Native key codes of this test's keyboard: 100 + the virtual key code.
class TestKeyLayout final : public KeyLayout
{
public:
    QString keyText(quint32 code) override { return UsKeyLayout().keyText(code); }
    std::optional<quint32> virtualKeyCode(quint32 native) override
    {
        if (native < 100 || native > 250)
            return std::nullopt;
        return native - 100;
    }
};

constexpr quint32 nativeOf(quint32 virtualKeyCode)
{
    return virtualKeyCode + 100;
}

// A window with a text field that has the focus, the settings view, and a menu shortcut.
struct Window
{
    explicit Window(std::optional<SettingsView::SnapshotValues> snapshot = std::nullopt)
        : settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat)
        , hotKeys(service, &settings)
    {
        Loggers::setSystemLog(&log);
        auto* layout = new QVBoxLayout(&widget);
        field = new QLineEdit(&widget);
        layout->addWidget(field);
        SettingsView::Inputs inputs = snapshot ? SettingsView::snapshotOf(*snapshot)
                                               : SettingsView::live(hotKeys, loginItems, QStringLiteral("/lib/T.json"));
        inputs.layout = std::make_shared<TestKeyLayout>();
        view = new SettingsView(inputs, &widget);
        layout->addWidget(view);
        menuAction = new QAction(&widget);
        menuAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+X")));
        widget.addAction(menuAction);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        field->setFocus();
        QVERIFY(hotKeys.registerCombo(HotKeyCombo::defaultCombo()));
    }
    ~Window() { Loggers::setSystemLog(nullptr); }

    // A key press as the desktop delivers it: the shortcut check first, then the press itself.
    void press(int key, quint32 native, Qt::KeyboardModifiers modifiers)
    {
        QKeyEvent override(QEvent::ShortcutOverride, key, modifiers, native, 0, 0);
        override.setAccepted(false);
        QApplication::sendEvent(field, &override);
        if (!override.isAccepted() && menuAction->shortcut().matches(QKeySequence(key | modifiers)) == QKeySequence::ExactMatch) {
            menuAction->trigger();
            return;
        }
        QKeyEvent event(QEvent::KeyPress, key, modifiers, native, 0, 0, QKeySequence(key).toString());
        QApplication::sendEvent(field, &event);
    }

    QTemporaryDir dir;
    QSettings settings;
    RecordingSystemLog log;
    MemoryHotKeyService service;
    HotKeyManager hotKeys;
    MemoryLoginItems loginItems;
    QWidget widget;
    QLineEdit* field = nullptr;
    SettingsView* view = nullptr;
    QAction* menuAction = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(LoginItems::Status)

Q_DECLARE_METATYPE(std::optional<QString>)

class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void recording_data();
    void recording();
    void altF4ClosesTheWindowWhileRecording_data();
    void altF4ClosesTheWindowWhileRecording();
    void menuShortcutsWaitWhileRecording();
    void hidingEndsRecording();
    void theCurrentShortcutRestsWhileRecording();
    void newRecordingClearsTheRefusal();
    void launchAtLogin_data();
    void launchAtLogin();
    void turningOnWhileEnabledKeepsTheNote();
    void liveValues();
    void settingsProblemIsShown_data();
    void settingsProblemIsShown();
    void copyingTheLibraryPathGivesThePath_data();
    void copyingTheLibraryPathGivesThePath();
    void opensWithVisibleFocus();
    void snapshotValues();
};

void TestSettingsView::recording_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("native"); // -1: a key without a position on the keyboard
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("stillRecording");
    QTest::addColumn<QString>("button"); // after the press
    QTest::addColumn<QString>("signError");
    const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
    const QString former = QStringLiteral("Ctrl+Alt+Super+C");
    QTest::newRow("escape cancels") << int(Qt::Key_Escape) << int(nativeOf(53)) << Qt::KeyboardModifiers() << false
                                    << false << former << "";
    QTest::newRow("letter alone keeps waiting") << int(Qt::Key_V) << int(nativeOf(9)) << Qt::KeyboardModifiers()
                                                << false << true << former << "";
    QTest::newRow("Ctrl pressed alone keeps waiting") << int(Qt::Key_Control) << int(nativeOf(59)) << ctrl << false
                                                      << true << former << "";
    QTest::newRow("key without a position keeps waiting") << int(Qt::Key_VolumeUp) << -1 << ctrl << false << true
                                                          << former << "";
    QTest::newRow("Shift counts as a modifier") << int(Qt::Key_V) << int(nativeOf(9))
                                                << Qt::KeyboardModifiers(Qt::ShiftModifier) << false << false
                                                << "Shift+V" << "";
    QTest::newRow("Ctrl+Alt+V") << int(Qt::Key_V) << int(nativeOf(9))
                                << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false << false
                                << "Ctrl+Alt+V" << "";
    QTest::newRow("keypad flag is no modifier") << int(Qt::Key_V) << int(nativeOf(9))
                                                << Qt::KeyboardModifiers(Qt::KeypadModifier) << false << true << former
                                                << "";
    QTest::newRow("taken shortcut") << int(Qt::Key_V) << int(nativeOf(9)) << ctrl << true << false << former
                                    << QString::fromUtf16(u"\u201cCtrl+V\u201d is already in use by another app.");
    // The copy keystrokes a capture sends (Ctrl+Shift+C to terminals) would set off captures.
    QTest::newRow("Ctrl+C is the capture's own keystroke")
        << int(Qt::Key_C) << int(nativeOf(8)) << ctrl << false << false << former
        << QString::fromUtf16(
               u"\u201cCtrl+C\u201d is the copy keystroke Tessellon sends to capture. Choose another shortcut.");
    QTest::newRow("Ctrl+Shift+C is the terminals' copy keystroke")
        << int(Qt::Key_C) << int(nativeOf(8)) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier) << false
        << false << former
        << QString::fromUtf16(
               u"\u201cCtrl+Shift+C\u201d is the copy keystroke Tessellon sends to capture. Choose another shortcut.");
    QTest::newRow("Ctrl+Alt+C is fine") << int(Qt::Key_C) << int(nativeOf(8))
                                        << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false
                                        << false << "Ctrl+Alt+C"
                                        << "";
}

void TestSettingsView::recording()
{
    QFETCH(int, key);
    QFETCH(int, native);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, taken);
    QFETCH(bool, stillRecording);
    QFETCH(QString, button);
    QFETCH(QString, signError);
    Window w;
    if (taken)
        w.service.taken.append({9, HotKeyCombo::control});
    ShortcutRecorder* recorder = w.view->recorder();
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    QVERIFY(recorder->isRecording());

    w.press(key, native < 0 ? 0 : quint32(native), modifiers);
    QCOMPARE(recorder->isRecording(), stillRecording);
    QCOMPARE(recorder->button()->text(), button);
    QCOMPARE(recorder->signError().value_or(QString()), signError);
    QCOMPARE(w.hotKeys.display(w.hotKeys.currentCombo()), button);
    // Whatever happened, a shortcut works once recording has ended: the former or the new one.
    if (!stillRecording) {
        QVERIFY(w.hotKeys.isRegistered());
        QCOMPARE(w.service.registered,
            (MemoryHotKeyService::Shortcut {w.hotKeys.currentCombo().keyCode, w.hotKeys.currentCombo().modsCarbon}));
    }
    // The press never reaches the text field.
    QCOMPARE(w.field->text(), QString());
    const QLabel* errorLabel = w.view->findChild<QWidget*>(QStringLiteral("signErrorRow"))->findChildren<QLabel*>().last();
    QCOMPARE(errorLabel->isVisibleTo(w.view), !signError.isEmpty());
    // After recording ends, keys reach the field again.
    recorder->stopRecording();
    QTest::keyClick(w.field, Qt::Key_A);
    QCOMPARE(w.field->text(), QStringLiteral("a"));
}

// Alt+F4 reaches the recorder (its keyboard grab keeps it from the window manager): it closes the
// window as it does everywhere, and is never taken as the shortcut. Ctrl+Alt+F4 is a shortcut.
void TestSettingsView::altF4ClosesTheWindowWhileRecording_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Alt+F4") << Qt::KeyboardModifiers(Qt::AltModifier) << true;
    QTest::newRow("Ctrl+Alt+F4") << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false;
}

void TestSettingsView::altF4ClosesTheWindowWhileRecording()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, closes);
    Window w;
    const HotKeyCombo former = w.hotKeys.currentCombo();
    ShortcutRecorder* recorder = w.view->recorder();
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    QVERIFY(recorder->isRecording());
    w.press(Qt::Key_F4, nativeOf(ShortcutRecorder::f4KeyCode), modifiers);
    QVERIFY(!recorder->isRecording());
    QCOMPARE(w.widget.isVisible(), !closes);
    QCOMPARE(recorder->signError(), std::optional<QString>());
    if (closes)
        QCOMPARE(w.hotKeys.currentCombo(), former);
    else
        QCOMPARE(w.hotKeys.currentCombo(),
            (HotKeyCombo {ShortcutRecorder::f4KeyCode, HotKeyCombo::control | HotKeyCombo::option}));
}

void TestSettingsView::menuShortcutsWaitWhileRecording()
{
    Window w;
    int triggered = 0;
    QObject::connect(w.menuAction, &QAction::triggered, [&] { ++triggered; });
    w.press(Qt::Key_X, nativeOf(7), Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(triggered, 1);
    QTest::mouseClick(w.view->recorder()->button(), Qt::LeftButton);
    w.press(Qt::Key_X, nativeOf(7), Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(triggered, 1);
    QCOMPARE(w.hotKeys.currentCombo(), (HotKeyCombo {7, HotKeyCombo::control | HotKeyCombo::option}));
}

void TestSettingsView::hidingEndsRecording()
{
    Window w;
    ShortcutRecorder* recorder = w.view->recorder();
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    w.view->hide();
    QVERIFY(!recorder->isRecording());
    QTest::keyClick(w.field, Qt::Key_B);
    QCOMPARE(w.field->text(), QStringLiteral("b"));
}

void TestSettingsView::theCurrentShortcutRestsWhileRecording()
{
    Window w;
    int captures = 0;
    w.hotKeys.onCapture = [&] { ++captures; };
    ShortcutRecorder* recorder = w.view->recorder();
    // While recording, the current shortcut's keys come to the recorder, not to a capture.
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    QVERIFY(!w.service.registered);
    QVERIFY(!w.service.press());
    // Cancelled: the same shortcut is taken again, without rewriting the settings.
    w.settings.remove(ShellSettings::hotKeyComboKey);
    w.press(Qt::Key_Escape, nativeOf(53), Qt::NoModifier);
    QVERIFY(w.hotKeys.isRegistered());
    QVERIFY(w.service.press());
    QCOMPARE(captures, 1);
    QVERIFY(!ShellSettings(&w.settings).hotKeyCombo());
    // Recording the current shortcut again succeeds instead of finding it taken by ourselves.
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    w.press(Qt::Key_C, nativeOf(8), Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    QVERIFY(!recorder->signError());
    QCOMPARE(ShellSettings(&w.settings).hotKeyCombo(), HotKeyCombo::defaultCombo());
    // Hidden while recording: the shortcut comes back too.
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    w.view->hide();
    QVERIFY(w.service.press());
    QCOMPARE(captures, 2);
}

void TestSettingsView::newRecordingClearsTheRefusal()
{
    Window w;
    w.service.taken.append({9, HotKeyCombo::control});
    ShortcutRecorder* recorder = w.view->recorder();
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    w.press(Qt::Key_V, nativeOf(9), Qt::ControlModifier);
    QVERIFY(recorder->signError());
    QTest::mouseClick(recorder->button(), Qt::LeftButton);
    QVERIFY(!recorder->signError());
    w.press(Qt::Key_Escape, nativeOf(53), Qt::NoModifier);
    QVERIFY(!recorder->signError());
    QVERIFY(!recorder->isRecording());
}

void TestSettingsView::launchAtLogin_data()
{
    using S = LoginItems::Status;
    QTest::addColumn<S>("status");
    QTest::addColumn<bool>("on");
    QTest::addColumn<S>("statusAfterRegister");
    QTest::addColumn<QString>("failure"); // of the call that registers or unregisters
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("note");
    const QString failed = QStringLiteral("Tessellon could not update launch at login.");
    QTest::newRow("on") << S::notRegistered << true << S::enabled << "" << QStringList {"status", "register", "status"}
                        << "";
    QTest::newRow("on, approval needed") << S::notRegistered << true << S::requiresApproval << ""
                                         << QStringList {"status", "register", "status"}
                                         << "Tessellon starts when you log in.";
    QTest::newRow("on, not found") << S::notFound << true << S::enabled << ""
                                   << QStringList {"status", "register", "status"} << "";
    QTest::newRow("on, fails") << S::notRegistered << true << S::enabled << "disk full"
                               << QStringList {"status", "register"} << failed;
    QTest::newRow("off") << S::enabled << false << S::enabled << "" << QStringList {"status", "unregister"} << "";
    QTest::newRow("off while awaiting approval") << S::requiresApproval << false << S::enabled << ""
                                                 << QStringList {"status", "unregister"} << "";
    QTest::newRow("off, not registered") << S::notRegistered << false << S::enabled << "" << QStringList {"status"}
                                         << "";
    QTest::newRow("off, not found") << S::notFound << false << S::enabled << "" << QStringList {"status"} << "";
    QTest::newRow("off, fails") << S::enabled << false << S::enabled << "read-only" << QStringList {"status", "unregister"}
                                << failed;
}

void TestSettingsView::launchAtLogin()
{
    using S = LoginItems::Status;
    QFETCH(S, status);
    QFETCH(bool, on);
    QFETCH(S, statusAfterRegister);
    QFETCH(QString, failure);
    QFETCH(QStringList, calls);
    QFETCH(QString, note);
    Window w;
    w.loginItems.current = status;
    w.loginItems.statusAfterRegister = statusAfterRegister;
    if (!failure.isEmpty())
        (on ? w.loginItems.registerFailure : w.loginItems.unregisterFailure) = failure;
    w.loginItems.calls.clear();
    w.view->applyLaunchAtLogin(on);
    QCOMPARE(w.loginItems.calls, calls);
    QCOMPARE(w.view->launchAtLoginNote().value_or(QString()), note);
    QCOMPARE(w.log.messages(QStringLiteral("app")).contains(QStringLiteral("Launch at login update failed: ") + failure),
        !failure.isEmpty());
}

void TestSettingsView::turningOnWhileEnabledKeepsTheNote()
{
    Window w;
    // The refusal under the shortcut row as well, for the review picture.
    w.service.taken.append({9, HotKeyCombo::control});
    QTest::mouseClick(w.view->recorder()->button(), Qt::LeftButton);
    w.press(Qt::Key_V, nativeOf(9), Qt::ControlModifier);
    w.loginItems.registerFailure = QStringLiteral("disk full");
    w.view->launchAtLoginToggle()->setChecked(true); // the toggle runs the action
    QCOMPARE(w.view->launchAtLoginNote(), SettingsView::loginFailureNote);
    QVERIFY(w.view->launchAtLoginToggle()->isChecked()); // the toggle keeps what the user chose
    const QString dir = qEnvironmentVariable("TESSELLON_REVIEW_DIR");
    if (!dir.isEmpty())
        WidgetSnapshot::render(*w.view, QSize(520, 360)).save(dir + QStringLiteral("/settings-view-notes.png"));
    w.loginItems.current = LoginItems::Status::enabled;
    w.loginItems.calls.clear();
    w.view->applyLaunchAtLogin(true);
    QCOMPARE(w.loginItems.calls, QStringList {"status"});
    QCOMPARE(w.view->launchAtLoginNote(), SettingsView::loginFailureNote);
}

void TestSettingsView::liveValues()
{
    Window w;
    QCOMPARE(w.view->libraryText(), QStringLiteral("/lib/T.json"));
    QCOMPARE(w.view->versionString(), QStringLiteral("1.0.0 (1)"));
    QVERIFY(!w.view->launchAtLoginToggle()->isChecked());
    w.loginItems.current = LoginItems::Status::enabled;
    SettingsView again(SettingsView::live(w.hotKeys, w.loginItems, QStringLiteral("/lib/T.json")));
    QVERIFY(again.launchAtLoginToggle()->isChecked());
    QCOMPARE(again.recorder()->button()->text(), QStringLiteral("Ctrl+Alt+Super+C"));
}

void TestSettingsView::settingsProblemIsShown_data()
{
    QTest::addColumn<std::optional<QString>>("problem");
    QTest::newRow("settings kept") << std::optional<QString>();
    QTest::newRow("settings not kept") << std::optional<QString>(
        QStringLiteral("The settings file /home/example/.config/Vesk/Tessellon.conf is not a file: settings are not saved."));
}

void TestSettingsView::settingsProblemIsShown()
{
    QFETCH(std::optional<QString>, problem);
    Window w;
    SettingsView view(SettingsView::live(w.hotKeys, w.loginItems, QStringLiteral("/lib/T.json"), problem));
    view.resize(520, 380);
    view.show();
    QCOMPARE(view.settingsProblemText(), problem);
    const QImage image = WidgetSnapshot::render(view, QSize(520, 380));
    const QString dir = qEnvironmentVariable("TESSELLON_REVIEW_DIR");
    if (!dir.isEmpty() && problem)
        image.save(dir + QStringLiteral("/settings-view-problem.png"));
}

void TestSettingsView::copyingTheLibraryPathGivesThePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("width");
    QTest::newRow("one line") << u"/home/example/.local/share/Tessellon/Tessellon.json"_s << 700;
    QTest::newRow("wrapped inside a name") << u"/home/example/.local/share/Tessellon/Tessellon.json"_s << 470;
    QTest::newRow("two lines") << u"/home/someone/with/a/rather/deep/folder/structure/.local/share/Tessellon/Tessellon.json"_s
                               << 460;
    QTest::newRow("cut in the middle") << u"/home/"_s + QString(u'x').repeated(600) + u"/Tessellon/Tessellon.json"_s
                                       << 460;
}

void TestSettingsView::copyingTheLibraryPathGivesThePath()
{
    QFETCH(QString, path);
    QFETCH(int, width);
    Window w;
    SettingsView view(SettingsView::live(w.hotKeys, w.loginItems, path, std::nullopt));
    WidgetSnapshot::render(view, QSize(width, 380));
    auto* label = view.findChild<QWidget*>(u"libraryPath"_s);
    QVERIFY(label);
    QApplication::clipboard()->clear();
    QTest::keyClick(label, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), path);
    // It shows in at most two lines, as tall as they are.
    QVERIFY(label->height() <= 2 * label->fontMetrics().lineSpacing() + 2);
}

void TestSettingsView::opensWithVisibleFocus()
{
    Window w;
    SettingsView view(SettingsView::live(w.hotKeys, w.loginItems, u"/lib/T.json"_s, std::nullopt));
    view.resize(520, 380);
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(view.recorder()->button()));
    auto* ring = view.findChild<FocusRing*>();
    QVERIFY(ring);
    QTRY_COMPARE(ring->target(), QApplication::focusWidget());
}

void TestSettingsView::snapshotValues()
{
    const SettingsView::SnapshotValues values {QString::fromUtf16(u"\u2325\u21e7C"), true,
        QStringLiteral("/home/example/.local/share/Tessellon/Tessellon.json"), QStringLiteral("2.3 (45)")};
    SettingsView view(SettingsView::snapshotOf(values));
    QCOMPARE(view.recorder()->button()->text(), values.shortcut);
    QVERIFY(view.launchAtLoginToggle()->isChecked());
    QCOMPARE(view.libraryText(), values.libraryPath);
    QCOMPARE(view.versionString(), values.version);
    const QImage image = WidgetSnapshot::render(view, QSize(520, 360));
    QVERIFY(!image.isNull());
    const QString dir = qEnvironmentVariable("TESSELLON_REVIEW_DIR");
    if (!dir.isEmpty())
        image.save(dir + QStringLiteral("/settings-view.png"));
    // The toggle touches no login items in a snapshot.
    view.launchAtLoginToggle()->setChecked(false);
    QCOMPARE(view.launchAtLoginNote(), std::nullopt);
}

TESSELLON_GUI_TEST_MAIN(TestSettingsView)
#include "tst_SettingsView.moc"
