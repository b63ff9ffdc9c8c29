// The synthetic copy keystroke on a real X server.

#include "Platform/X11/QtPasteboard.h"
#include "Platform/X11/XTestKeyInjector.h"
#include "Platform/X11/XcbConnection.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <cstdlib>

using X11Programs::Child;

namespace {
bool anyKeyDown()
{
    auto x = XcbConnection::open();
    xcb_connection_t* c = x->connection();
    auto* keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    bool down = false;
    for (int i = 0; keymap && i < 32; ++i)
        down = down || keymap->keys[i];
    std::free(keymap);
    return down;
}
} // namespace

class TestXTestKeyInjector : public QObject
{
    Q_OBJECT

private slots:
    void copyKeystrokeByWindowClass_data()
    {
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("keys"); // the number of keys of the chord; 0: none is sent
        QTest::newRow("xterm copies by selecting") << "xterm"
                                                   << "XTerm" << 0;
        QTest::newRow("uxterm") << "uxterm"
                                << "UXTerm" << 0;
        QTest::newRow("rxvt-unicode") << "urxvt"
                                      << "URxvt" << 0;
        QTest::newRow("Emacs") << "emacs"
                               << "Emacs" << 0;
        QTest::newRow("Emacs started under another name") << "emacs-gtk"
                                                          << "Emacs" << 0;
        QTest::newRow("GUI Vim") << "gvim"
                                 << "Gvim" << 0;
        QTest::newRow("GNOME Terminal") << "gnome-terminal-server"
                                        << "Gnome-terminal" << 3;
        QTest::newRow("LXTerminal") << "lxterminal"
                                    << "Lxterminal" << 3;
        QTest::newRow("Konsole") << "konsole"
                                 << "konsole" << 3;
        QTest::newRow("kitty by class only") << ""
                                             << "kitty" << 3;
        QTest::newRow("editor") << "gedit"
                                << "Gedit" << 2;
        QTest::newRow("browser") << "Navigator"
                                 << "firefox" << 2;
        QTest::newRow("name containing term") << "terminal-notes"
                                              << "TermNotes" << 2;
    }
    void copyKeystrokeByWindowClass()
    {
        QFETCH(QString, instance);
        QFETCH(QString, className);
        QFETCH(int, keys);
        const QList<quint32> keysyms = XTestKeyInjector::copyKeysyms(CopyCommand::forWindowClass(instance, className));
        QCOMPARE(keysyms.size(), keys);
        // Every chord ends with the C key, after its modifiers.
        if (keys)
            QCOMPARE(keysyms.last(), quint32(0x63));
    }

    // PRIMARY may stand for the selection only of a program whose selecting is its copy: never
    // a browser, a toolkit's program or one nobody knows, which may put a password there.
    void selectingIsCopyOnlyForKnownPrograms_data()
    {
        QTest::addColumn<QString>("desktopId");
        QTest::addColumn<QString>("instance");
        QTest::addColumn<QString>("className");
        QTest::addColumn<bool>("selectingIsCopy");
        QTest::newRow("xterm") << "debian-xterm"
                               << "xterm"
                               << "XTerm" << true;
        QTest::newRow("terminal with a copy keystroke") << "lxterminal"
                                                        << "lxterminal"
                                                        << "Lxterminal" << true;
        QTest::newRow("Emacs") << "emacs"
                               << "emacs"
                               << "Emacs" << true;
        QTest::newRow("GUI Vim") << "gvim"
                                 << "gvim"
                                 << "Gvim" << true;
        QTest::newRow("mupdf, by its id") << "mupdf"
                                          << "mupdf"
                                          << "MuPDF" << true;
        QTest::newRow("zathura, by its id") << "org.pwmt.zathura"
                                            << "zathura"
                                            << "Zathura" << true;
        QTest::newRow("Chromium") << "chromium"
                                  << "chromium"
                                  << "Chromium" << false;
        QTest::newRow("Firefox") << "firefox-esr"
                                 << "Navigator"
                                 << "firefox-esr" << false;
        QTest::newRow("surf") << "surf"
                              << "surf"
                              << "Surf" << false;
        QTest::newRow("Tk") << "Tk"
                            << "tk"
                            << "Tk" << false;
        QTest::newRow("Java") << "SignIn"
                              << "sun-awt-X11-XFramePeer"
                              << "SignIn" << false;
        QTest::newRow("a document viewer that copies on Control+C") << "org.gnome.Evince"
                                                                    << "evince"
                                                                    << "Evince" << false;
        QTest::newRow("unknown") << QString() << QString() << QString() << false;
    }
    void selectingIsCopyOnlyForKnownPrograms()
    {
        QFETCH(QString, desktopId);
        QFETCH(QString, instance);
        QFETCH(QString, className);
        QFETCH(bool, selectingIsCopy);
        QCOMPARE(CopyCommand::selectingIsCopy(desktopId, instance, className), selectingIsCopy);
    }

    // Super held by the user when the capture starts would turn Control+C into another chord:
    // the injector waits until it is up, so the window still copies.
    void waitsForHeldModifiers_data()
    {
        QTest::addColumn<QString>("heldKey");
        QTest::addColumn<bool>("hotkeyKnown"); // the hotkey's own keys are given, modifiers count too
        QTest::newRow("nothing held") << QString() << false;
        QTest::newRow("Super held for a moment") << "Super_L" << false;
        QTest::newRow("Alt held for a moment") << "Alt_L" << false;
        QTest::newRow("Super held, hotkey keys given") << "Super_L" << true;
    }
    void waitsForHeldModifiers()
    {
        QFETCH(QString, heldKey);
        QFETCH(bool, hotkeyKnown);
        if (!X11Programs::available(QStringLiteral("xdotool")))
            QSKIP("xdotool is not installed");
        QtPasteboard pasteboard;
        Child target;
        QVERIFY(target.start(QStringLiteral(TESSELLON_CAPTURE_TARGET), {"--text", "one two three", "--select", "two"}));
        const auto ready = target.waitForLine("ready");
        QVERIFY(ready);
        // The keystrokes go where the X server's input focus is: in the target's window.
        QVERIFY(X11Wait::focused(xcb_window_t(ready->toULongLong())));

        Child releaser;
        if (!heldKey.isEmpty()) {
            QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"keydown", heldKey}));
            QVERIFY(releaser.start(QStringLiteral("sh"), {"-c", "sleep 0.3; xdotool keyup " + heldKey}));
        }
        const qint64 before = pasteboard.changeCount();
        {
            XTestKeyInjector keys;
            if (hotkeyKnown)
                keys.setHotkeyKeycodes({quint8(9)}); // Escape on the usual layouts: not held here
            keys.press(KeyInjector::Chord::Copy);
            QTest::qWait(30);
            keys.release(KeyInjector::Chord::Copy);
        }
        QTRY_VERIFY_WITH_TIMEOUT(pasteboard.changeCount() != before, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(
            pasteboard.string(QStringLiteral("text/plain")), std::optional<QString>(u"two"_qs), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!anyKeyDown(), 3000);
    }

    void keysLeftDownAreReleasedAtTheEnd()
    {
        {
            XTestKeyInjector keys;
            keys.press(KeyInjector::Chord::Copy);
            QVERIFY(anyKeyDown());
        }
        QVERIFY(!anyKeyDown());
    }
};

TESSELLON_GUI_TEST_MAIN(TestXTestKeyInjector)
#include "tst_XTestKeyInjector.moc"
