// The capture shortcut on a real X server: the grab through Qt's connection, presses with and
// without Num Lock and Caps Lock, a shortcut another client holds (also while the settings record
// one), and the key layout.

#include "Platform/X11/X11HotKeyService.h"
#include "Platform/X11/XcbConnection.h"
#include "Platform/X11/XkbKeyLayout.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "Zubra/Shell/SettingsView.h"
#include "Zubra/Shell/ShortcutRecorder.h"
#include "ZubraCore/Support/Logging.h"
#include "support/MemoryLoginItems.h"
#include "support/RecordingSystemLog.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
using Masks = X11HotKeyService::ModifierMasks;
const HotKeyCombo defaultCombo = HotKeyCombo::defaultCombo();
const HotKeyCombo ctrlAltSuperV {9, HotKeyCombo::control | HotKeyCombo::option | HotKeyCombo::command};

bool xdotool(const QStringList& arguments)
{
    return X11Programs::run(QStringLiteral("xdotool"), arguments).has_value();
}

// The keyboard's modifier state as the server has it now (Lock, Num Lock's modifier...).
quint16 modifierState(XcbConnection& x)
{
    auto* reply = xcb_query_pointer_reply(x.connection(), xcb_query_pointer(x.connection(), x.root()), nullptr);
    const quint16 mask = reply ? reply->mask : 0;
    std::free(reply);
    return mask & 0xff;
}

// Another client's passive grab of one state of a key, held while the object lives.
class ForeignGrab
{
public:
    ForeignGrab(xcb_keycode_t keycode, quint16 state)
        : m_x(XcbConnection::open())
        , m_keycode(keycode)
        , m_state(state)
    {
        auto* error = xcb_request_check(m_x->connection(),
            xcb_grab_key_checked(
                m_x->connection(), 1, m_x->root(), state, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        m_held = !error;
        std::free(error);
    }
    ~ForeignGrab()
    {
        if (m_held) {
            xcb_ungrab_key(m_x->connection(), m_keycode, m_x->root(), m_state);
            xcb_flush(m_x->connection());
        }
    }
    bool held() const { return m_held; }

private:
    std::shared_ptr<XcbConnection> m_x;
    xcb_keycode_t m_keycode;
    quint16 m_state;
    bool m_held = false;
};
} // namespace

class TestX11HotKey : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    RecordingSystemLog m_log;
    std::shared_ptr<XcbConnection> m_x;

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(X11Programs::available(QStringLiteral("xdotool")));
        Loggers::setSystemLog(&m_log);
        m_x = XcbConnection::open();
        QVERIFY(m_x);
    }
    void cleanupTestCase() { Loggers::setSystemLog(nullptr); }
    void init()
    {
        m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_settings->clear();
        m_log.clear();
    }

    void modifierTableBothWays_data()
    {
        QTest::addColumn<quint32>("mods");
        QTest::addColumn<int>("state");
        const Masks masks {XCB_MOD_MASK_1, XCB_MOD_MASK_4, XCB_MOD_MASK_2};
        QTest::newRow("control") << 0x1000u << int(XCB_MOD_MASK_CONTROL);
        QTest::newRow("option on Alt's modifier") << 0x800u << int(masks.alt);
        QTest::newRow("shift") << 0x200u << int(XCB_MOD_MASK_SHIFT);
        QTest::newRow("command on Super's modifier") << 0x100u << int(masks.super);
        QTest::newRow("the default") << 0x1900u << int(XCB_MOD_MASK_CONTROL | masks.alt | masks.super);
        QTest::newRow("none") << 0u << 0;
    }
    void modifierTableBothWays()
    {
        QFETCH(quint32, mods);
        QFETCH(int, state);
        // The masks as this server's modifier mapping has them.
        const Masks masks = X11HotKeyService::currentMasks(m_x->connection());
        QCOMPARE(masks.alt, quint16(XCB_MOD_MASK_1));
        QCOMPARE(masks.super, quint16(XCB_MOD_MASK_4));
        QCOMPARE(masks.numLock, quint16(XCB_MOD_MASK_2));
        QCOMPARE(X11HotKeyService::modifierState(mods, masks), quint16(state));
        QCOMPARE(X11HotKeyService::modsCarbon(quint16(state), masks), mods);
        // Lock and Num Lock never count as modifiers of the shortcut.
        QCOMPARE(X11HotKeyService::modsCarbon(quint16(state | XCB_MOD_MASK_LOCK | masks.numLock), masks), mods);
        const auto variants = X11HotKeyService::lockVariants(quint16(state), masks);
        QCOMPARE(variants.size(), 4);
        QCOMPARE(QSet<quint16>(variants.cbegin(), variants.cend()).size(), 4);
    }

    void presses_data()
    {
        QTest::addColumn<QString>("lockKey"); // toggled on before the press and off after; empty: none
        QTest::addColumn<int>("lockState");
        QTest::newRow("plain") << QString() << 0;
        QTest::newRow("Num Lock on") << "Num_Lock" << int(XCB_MOD_MASK_2);
        QTest::newRow("Caps Lock on") << "Caps_Lock" << int(XCB_MOD_MASK_LOCK);
    }
    void presses()
    {
        QFETCH(QString, lockKey);
        QFETCH(int, lockState);
        X11HotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        int captures = 0;
        manager.onCapture = [&] { ++captures; };
        QVERIFY(manager.registerCombo(defaultCombo));
        QCOMPARE(m_log.messages(Loggers::hotkey().category()),
            QStringList {QStringLiteral("Registered hotkey Ctrl+Alt+Super+C")});

        if (!lockKey.isEmpty()) {
            QVERIFY(xdotool({"key", lockKey}));
            QTRY_VERIFY(modifierState(*m_x) & lockState);
        }
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 1);
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 2);
        if (!lockKey.isEmpty()) {
            QVERIFY(xdotool({"key", lockKey}));
            QTRY_VERIFY(!(modifierState(*m_x) & lockState));
        }
        // Another key with the same modifiers is not the shortcut; the shortcut still is.
        QVERIFY(xdotool({"key", "ctrl+alt+super+x", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 3);
        QTest::qWait(100);
        QCOMPARE(captures, 3);
    }

    // A held key repeats: with Xkb's detectable auto-repeat as presses alone, without it as
    // release-and-press pairs at one time. Only a press after a release is a new press; a key
    // silent for longer than any repeat delay lost its release, and its next press is new.
    void autoRepeatIsNoPress_data()
    {
        QTest::addColumn<QString>("events"); // "p" a press, "r" a release, each at a server time in ms
        QTest::addColumn<QList<bool>>("newPresses"); // per press, in order
        QTest::newRow("detectable auto-repeat")
            << "p1000 p1660 p1700 p1740 r1760 p3000" << QList<bool> {true, false, false, false, true};
        QTest::newRow("release and press pairs")
            << "p1000 r1660 p1660 r1700 p1700 r1740 p1741" << QList<bool> {true, false, false, true};
        QTest::newRow("presses in quick succession")
            << "p1000 r1050 p1100 r1150 p1200" << QList<bool> {true, true, true};
        QTest::newRow("a lost release") << "p1000 p4000" << QList<bool> {true, true};
        QTest::newRow("server time wrapping") << "p4294967290 p30 r40 p41" << QList<bool> {true, false, true};
    }
    void autoRepeatIsNoPress()
    {
        QFETCH(QString, events);
        QFETCH(QList<bool>, newPresses);
        X11HotKeyService service;
        QList<bool> seen;
        for (const QString& event : events.split(u' ')) {
            const auto time = xcb_timestamp_t(event.mid(1).toUInt());
            if (event.startsWith(u'r'))
                QVERIFY(!service.isRepeat(false, time));
            else
                seen.append(!service.isRepeat(true, time));
        }
        QCOMPARE(seen, newPresses);
    }

    void oneVariantHeldElsewhereRefusesAllAndKeepsNone()
    {
        const xcb_keycode_t keycode = X11HotKeyService::keycodeOf(m_x->connection(), "AB03");
        QVERIFY(keycode);
        const Masks masks = X11HotKeyService::currentMasks(m_x->connection());
        const quint16 state = X11HotKeyService::modifierState(defaultCombo.modsCarbon, masks);
        X11HotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        {
            ForeignGrab other(keycode, quint16(state | masks.numLock));
            QVERIFY(other.held());
            QVERIFY(!manager.registerCombo(defaultCombo));
            QCOMPARE(m_log.messages(Loggers::hotkey().category()),
                QStringList {QStringLiteral("RegisterEventHotKey failed with status 10")});
            QVERIFY(!manager.isRegistered());
            QVERIFY(!ShellSettings(m_settings.get()).hotKeyCombo());
            // The service tells a shortcut held elsewhere from a key the keyboard lacks, and from
            // registering before its handler.
            X11HotKeyService direct;
            QCOMPARE(direct.registerHotKey(defaultCombo.keyCode, defaultCombo.modsCarbon),
                HotKeyService::Result {HotKeyService::Status::notInstalled});
            QVERIFY(direct.installHandler([] {}).isOk());
            QCOMPARE(direct.registerHotKey(defaultCombo.keyCode, defaultCombo.modsCarbon),
                (HotKeyService::Result {HotKeyService::Status::taken, XCB_ACCESS}));
            QCOMPARE(direct.registerHotKey(0xFFFF, defaultCombo.modsCarbon),
                HotKeyService::Result {HotKeyService::Status::noSuchKey});
            // The three variants the other client does not hold are free: none was kept.
            for (quint16 variant : X11HotKeyService::lockVariants(state, masks)) {
                if (variant == quint16(state | masks.numLock))
                    continue;
                ForeignGrab probe(keycode, variant);
                QVERIFY2(probe.held(), qPrintable(QString::number(variant, 16)));
            }
        }
        // Once the other client lets go, the shortcut is ours.
        QVERIFY(manager.registerCombo(defaultCombo));
        ForeignGrab late(keycode, state);
        QVERIFY(!late.held());
    }

    void theFormerShortcutWorksAfterARefusal()
    {
        const xcb_keycode_t keycodeV = X11HotKeyService::keycodeOf(m_x->connection(), "AB04");
        const Masks masks = X11HotKeyService::currentMasks(m_x->connection());
        X11HotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        int captures = 0;
        manager.onCapture = [&] { ++captures; };
        QVERIFY(manager.registerCombo(defaultCombo));

        ForeignGrab other(
            keycodeV, quint16(X11HotKeyService::modifierState(ctrlAltSuperV.modsCarbon, masks) | XCB_MOD_MASK_LOCK));
        QVERIFY(other.held());
        QVERIFY(!manager.registerCombo(ctrlAltSuperV));
        QCOMPARE(manager.currentCombo(), defaultCombo);
        QCOMPARE(ShellSettings(m_settings.get()).hotKeyCombo(), defaultCombo);
        QVERIFY(manager.isRegistered());
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 1);
    }

    // Recording holds the keyboard: a combination another client has grabbed comes to the
    // recorder and is reported taken, instead of setting off the other program; the current
    // shortcut's keys are recorded rather than captured; the copy keystroke is refused.
    void recordingSeesWhatOtherProgramsHold()
    {
        const Masks masks = X11HotKeyService::currentMasks(m_x->connection());
        const xcb_keycode_t keycodeJ = X11HotKeyService::keycodeOf(m_x->connection(), "AC07");
        QVERIFY(keycodeJ);
        ForeignGrab other(keycodeJ, X11HotKeyService::modifierState(HotKeyCombo::control | HotKeyCombo::option, masks));
        QVERIFY(other.held());

        X11HotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        int captures = 0;
        manager.onCapture = [&] { ++captures; };
        QVERIFY(manager.registerCombo(defaultCombo));
        MemoryLoginItems loginItems;
        SettingsView::Inputs inputs = SettingsView::live(manager, loginItems, QStringLiteral("/lib/T.json"));
        inputs.layout = std::make_shared<XkbKeyLayout>();
        SettingsView view(inputs);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        ShortcutRecorder* recorder = view.recorder();

        QTest::mouseClick(recorder->button(), Qt::LeftButton);
        QVERIFY(recorder->isRecording());
        QVERIFY(xdotool({"key", "ctrl+alt+j"}));
        QTRY_COMPARE(recorder->signError().value_or(QString()),
            QString::fromUtf16(u"\u201cCtrl+Alt+J\u201d is already in use by another app."));
        QVERIFY(!recorder->isRecording());
        // The former shortcut works again once recording has ended.
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 1);

        QTest::mouseClick(recorder->button(), Qt::LeftButton);
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_VERIFY(!recorder->isRecording());
        QVERIFY(!recorder->signError());
        QTest::qWait(100);
        QCOMPARE(captures, 1);

        QTest::mouseClick(recorder->button(), Qt::LeftButton);
        QVERIFY(xdotool({"key", "ctrl+c"}));
        QTRY_COMPARE(recorder->signError().value_or(QString()),
            QString::fromUtf16(
                u"\u201cCtrl+C\u201d is the copy keystroke Tessellon sends to capture. Choose another shortcut."));
        QCOMPARE(manager.currentCombo(), defaultCombo);
        QVERIFY(xdotool({"key", "ctrl+alt+super+c"}));
        QTRY_COMPARE(captures, 2);
    }

    void keyLayout()
    {
        XkbKeyLayout layout;
        QCOMPARE(layout.keyText(8), QStringLiteral("c"));
        QCOMPARE(layout.keyText(16), QStringLiteral("y"));
        QCOMPARE(layout.keyText(122), QString()); // F1 types nothing
        QCOMPARE(HotKeyCombo::defaultCombo().display(layout), QStringLiteral("Ctrl+Alt+Super+C"));
        const xcb_keycode_t keycode = X11HotKeyService::keycodeOf(m_x->connection(), "AB03");
        QCOMPARE(layout.virtualKeyCode(keycode), 8u);

        if (!X11Programs::available(QStringLiteral("setxkbmap")))
            QSKIP("setxkbmap is not installed");
        // A German layout swaps y and z: the same position now types z.
        QVERIFY(X11Programs::run(QStringLiteral("setxkbmap"), {"de"}));
        QTRY_COMPARE(layout.keyText(16), QStringLiteral("z"));
        QCOMPARE(layout.keyText(6), QStringLiteral("y"));
        QCOMPARE((HotKeyCombo {16, HotKeyCombo::control}.display(layout)), QStringLiteral("Ctrl+Z"));
        QVERIFY(X11Programs::run(QStringLiteral("setxkbmap"), {"us"}));
        QTRY_COMPARE(layout.keyText(16), QStringLiteral("y"));
    }
};

TESSELLON_GUI_TEST_MAIN(TestX11HotKey)
#include "tst_X11HotKey.moc"
