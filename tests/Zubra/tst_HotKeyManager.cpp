// The process's capture shortcut: the stored combination, registration with the desktop's
// service, the combination kept working when a new one is refused, and the log lines.

#include "Platform/KeyLayout.h"
#include "Platform/X11/X11HotKeyService.h"
#include "Zubra/Shell/HotKeyManager.h"
#include "ZubraCore/Support/Logging.h"
#include "support/MemoryHotKeyService.h"
#include "support/RecordingSystemLog.h"
#include "support/TestMain.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {
// A layout on which the key of code 8 types j.
class JLayout final : public KeyLayout
{
public:
    QString keyText(quint32 code) override { return code == 8 ? QStringLiteral("j") : QString(); }
    std::optional<quint32> virtualKeyCode(quint32) override { return std::nullopt; }
};

const HotKeyCombo defaultCombo = HotKeyCombo::defaultCombo();
const HotKeyCombo ctrlShiftV {9, HotKeyCombo::control | HotKeyCombo::shift};
const HotKeyCombo altSpace {49, HotKeyCombo::option};
} // namespace

class TestHotKeyManager : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    RecordingSystemLog m_log;

    QStringList hotkeyLines() const { return m_log.messages(Loggers::hotkey().category()); }
    std::optional<HotKeyCombo> stored() const { return ShellSettings(m_settings.get()).hotKeyCombo(); }

private slots:
    void initTestCase() { Loggers::setSystemLog(&m_log); }
    void cleanupTestCase() { Loggers::setSystemLog(nullptr); }
    void init()
    {
        m_settings = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_settings->clear();
        m_log.clear();
    }

    void startsFromTheStoredCombination_data()
    {
        QTest::addColumn<QVariant>("storedValue"); // invalid: nothing stored
        QTest::addColumn<HotKeyCombo>("current");
        QTest::newRow("nothing stored") << QVariant() << defaultCombo;
        QTest::newRow("stored") << QVariant(ctrlShiftV.toJson()) << ctrlShiftV;
        QTest::newRow("undecodable") << QVariant(QByteArray("{\"keyCode\":9}")) << defaultCombo;
        QTest::newRow("a list, as a hand-edited INI line reads")
            << QVariant(QStringList {"{\"keyCode\":9", "x}"}) << defaultCombo;
        QTest::newRow("a number") << QVariant(42) << defaultCombo;
    }
    void startsFromTheStoredCombination()
    {
        QFETCH(QVariant, storedValue);
        QFETCH(HotKeyCombo, current);
        if (storedValue.isValid())
            m_settings->setValue(ShellSettings::hotKeyComboKey, storedValue);
        MemoryHotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        QCOMPARE(manager.currentCombo(), current);
        QVERIFY(!manager.isRegistered());
        QVERIFY(service.registrations.isEmpty()); // the application registers at launch
    }

    void anUnusableStoredCombinationGivesTheDefault_data()
    {
        QTest::addColumn<HotKeyCombo>("stored");
        QTest::addColumn<QString>("logLine");
        const QString tail = QStringLiteral(" Using Ctrl+Alt+Super+C instead.");
        QTest::newRow("no modifier (hand-edited, or from the earlier product)")
            << HotKeyCombo {8, 0}
            << QString::fromUtf16(u"Stored shortcut not used: \u201cC\u201d has no Ctrl, Alt, Shift or Super: it "
                                  u"would take that key from every app.")
                + tail;
        QTest::newRow("the capture's own copy keystroke")
            << HotKeyCombo {8, HotKeyCombo::control}
            << QString::fromUtf16(u"Stored shortcut not used: \u201cCtrl+C\u201d is the copy keystroke Tessellon "
                                  u"sends to capture. Choose another shortcut.")
                + tail;
    }
    void anUnusableStoredCombinationGivesTheDefault()
    {
        QFETCH(HotKeyCombo, stored);
        QFETCH(QString, logLine);
        m_settings->setValue(ShellSettings::hotKeyComboKey, stored.toJson());
        MemoryHotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        QCOMPARE(manager.currentCombo(), defaultCombo);
        // What the application registers at launch is the default, never the bare key; the log
        // says why then, once.
        QVERIFY(manager.registerCombo(manager.currentCombo()));
        QCOMPARE(service.registrations,
            (QList<MemoryHotKeyService::Shortcut> {{defaultCombo.keyCode, defaultCombo.modsCarbon}}));
        QCOMPARE(m_log.messages(Loggers::app().category()), QStringList {logLine});
        QVERIFY(manager.registerCombo(ctrlShiftV));
        QCOMPARE(m_log.messages(Loggers::app().category()), QStringList {logLine});
    }

    void anUnusableCombinationIsRefusedBeforeAnythingChanges()
    {
        MemoryHotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        QVERIFY(manager.registerCombo(ctrlShiftV));
        service.registrations.clear();
        m_log.clear();
        QVERIFY(!manager.registerCombo({8, 0}));
        QVERIFY(!manager.registerCombo({8, HotKeyCombo::control | HotKeyCombo::shift}));
        QVERIFY(service.registrations.isEmpty());
        QCOMPARE(hotkeyLines().size(), 2);
        QVERIFY(hotkeyLines().constFirst().startsWith(QStringLiteral("Shortcut refused: ")));
        QVERIFY(manager.isRegistered());
        QCOMPARE(manager.currentCombo(), ctrlShiftV);
        QCOMPARE(stored(), ctrlShiftV);
    }

    void pausingLetsGoAndResumingTakesBack()
    {
        MemoryHotKeyService service;
        service.taken.append({altSpace.keyCode, altSpace.modsCarbon});
        HotKeyManager manager(service, m_settings.get());
        // Nothing registered: pausing and resuming register nothing.
        manager.pause();
        manager.resume();
        QVERIFY(service.registrations.isEmpty());

        QVERIFY(manager.registerCombo(defaultCombo));
        manager.pause();
        QVERIFY(!service.registered);
        QVERIFY(!manager.isRegistered());
        manager.resume();
        QVERIFY(manager.isRegistered());
        QCOMPARE(service.registered, (MemoryHotKeyService::Shortcut {defaultCombo.keyCode, defaultCombo.modsCarbon}));

        // A refusal while paused brings the former shortcut back at once.
        manager.pause();
        QVERIFY(!manager.registerCombo(altSpace));
        QCOMPARE(service.registered, (MemoryHotKeyService::Shortcut {defaultCombo.keyCode, defaultCombo.modsCarbon}));
        manager.resume();
        QVERIFY(manager.isRegistered());

        // A new shortcut registered while paused stays; resuming does not bring back the old one.
        manager.pause();
        QVERIFY(manager.registerCombo(ctrlShiftV));
        service.registrations.clear();
        manager.resume();
        QVERIFY(service.registrations.isEmpty());
        QCOMPARE(service.registered, (MemoryHotKeyService::Shortcut {ctrlShiftV.keyCode, ctrlShiftV.modsCarbon}));

        // Let go for good (the program quits) while paused: resuming takes nothing back.
        manager.pause();
        manager.unregisterCombo();
        manager.resume();
        QVERIFY(service.registrations.isEmpty());
        QVERIFY(!service.registered);
    }

    void registeringStoresLogsAndDeliversPresses()
    {
        MemoryHotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        int captures = 0;
        manager.onCapture = [&] { ++captures; };
        QSignalSpy registered(&manager, &HotKeyManager::comboRegistered);

        QVERIFY(manager.registerCombo(ctrlShiftV));
        QVERIFY(manager.isRegistered());
        QCOMPARE(manager.currentCombo(), ctrlShiftV);
        QCOMPARE(stored(), ctrlShiftV);
        QCOMPARE(hotkeyLines(), QStringList {QStringLiteral("Registered hotkey Ctrl+Shift+V")});
        QCOMPARE(registered.size(), 1);
        QVERIFY(service.press());
        QVERIFY(service.press());
        QCOMPARE(captures, 2);

        // The same combination again: still rewritten in the settings.
        m_settings->remove(ShellSettings::hotKeyComboKey);
        QVERIFY(manager.registerCombo(ctrlShiftV));
        QCOMPARE(stored(), ctrlShiftV);

        manager.unregisterCombo();
        QVERIFY(!manager.isRegistered());
        QVERIFY(!service.press());
        QCOMPARE(manager.currentCombo(), ctrlShiftV);
    }

    void aRefusedCombinationLeavesThePreviousOneWorking()
    {
        MemoryHotKeyService service;
        service.taken.append({altSpace.keyCode, altSpace.modsCarbon});
        HotKeyManager manager(service, m_settings.get());
        int captures = 0;
        manager.onCapture = [&] { ++captures; };
        QVERIFY(manager.registerCombo(defaultCombo));
        m_log.clear();
        QSignalSpy registered(&manager, &HotKeyManager::comboRegistered);

        QVERIFY(!manager.registerCombo(altSpace));
        QCOMPARE(hotkeyLines(), QStringList {QStringLiteral("RegisterEventHotKey failed with status 10")});
        QCOMPARE(m_log.entries().constFirst().level, SystemLogLevel::error);
        QCOMPARE(manager.currentCombo(), defaultCombo);
        QCOMPARE(stored(), defaultCombo);
        QCOMPARE(registered.size(), 0);
        // The former shortcut is registered again and still captures.
        QVERIFY(manager.isRegistered());
        QCOMPARE(service.registered, (MemoryHotKeyService::Shortcut {defaultCombo.keyCode, defaultCombo.modsCarbon}));
        QVERIFY(service.press());
        QCOMPARE(captures, 1);
    }

    void aRefusalWithNothingRegisteredBeforeLeavesNothing()
    {
        MemoryHotKeyService service;
        service.taken.append({defaultCombo.keyCode, defaultCombo.modsCarbon});
        HotKeyManager manager(service, m_settings.get());
        QVERIFY(!manager.registerCombo(defaultCombo));
        QVERIFY(!manager.isRegistered());
        QCOMPARE(service.registrations.size(), 1);
        QVERIFY(!stored());
        // The launch fallback then tries another combination, which works.
        QVERIFY(manager.registerCombo(ctrlShiftV));
        QCOMPARE(stored(), ctrlShiftV);
    }

    // Texts and log lines name the keys on the manager's layout; without one, on a US layout.
    void namesKeysOnItsLayout()
    {
        MemoryHotKeyService service;
        HotKeyManager us(service, m_settings.get());
        QCOMPARE(us.display(defaultCombo), QStringLiteral("Ctrl+Alt+Super+C"));

        m_settings->setValue(ShellSettings::hotKeyComboKey, HotKeyCombo {8, 0}.toJson());
        MemoryHotKeyService other;
        HotKeyManager j(other, m_settings.get(), std::make_shared<JLayout>());
        QCOMPARE(j.display(defaultCombo), QStringLiteral("Ctrl+Alt+Super+J"));
        m_log.clear();
        QVERIFY(j.registerCombo(defaultCombo));
        QCOMPARE(m_log.messages(Loggers::app().category()),
            QStringList {QString::fromUtf16(u"Stored shortcut not used: \u201cJ\u201d has no Ctrl, Alt, Shift or "
                                            u"Super: it would take that key from every app. Using Ctrl+Alt+Super+J "
                                            u"instead.")});
        QCOMPARE(hotkeyLines(), QStringList {QStringLiteral("Registered hotkey Ctrl+Alt+Super+J")});
    }

    void withoutAHandlerNothingEverRegisters()
    {
        MemoryHotKeyService service;
        service.installStatus = HotKeyService::Status::unsupported;
        HotKeyManager manager(service, m_settings.get());
        QCOMPARE(hotkeyLines(), QStringList {QStringLiteral("InstallEventHandler failed with status -1")});
        QVERIFY(!manager.registerCombo(defaultCombo));
        QVERIFY(service.registrations.isEmpty());
        QVERIFY(!manager.isRegistered());
    }

    void offscreenHasNoGlobalShortcuts()
    {
        // Not the xcb platform: the desktop cannot deliver a global shortcut to this process.
        X11HotKeyService service;
        HotKeyManager manager(service, m_settings.get());
        QCOMPARE(hotkeyLines(), QStringList {QStringLiteral("InstallEventHandler failed with status -1")});
        QVERIFY(!manager.registerCombo(defaultCombo));
    }

    void theManagerGivesItsShortcutBackWhenGone()
    {
        MemoryHotKeyService service;
        {
            HotKeyManager manager(service, m_settings.get());
            QVERIFY(manager.registerCombo(defaultCombo));
            QVERIFY(service.registered);
        }
        QVERIFY(!service.registered);
    }
};

TESSELLON_GUI_TEST_MAIN(TestHotKeyManager)
#include "tst_HotKeyManager.moc"
