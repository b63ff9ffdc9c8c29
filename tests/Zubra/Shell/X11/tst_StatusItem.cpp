// The status item on a real X server: without a system tray it stays hidden and says so in the
// log; with a tray (this test's own XEmbed host, holding _NET_SYSTEM_TRAY_S0) it docks, and its
// menu's items drive the application.

#include "../../App/AppHarness.h"
#include "Platform/X11/XcbConnection.h"
#include "Zubra/App/MenuBar.h"
#include "Zubra/Shell/StatusItem.h"
#include "support/TestMain.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstring>

namespace {

// A minimal system tray: owns the tray selection, announces itself, and takes every icon that
// asks to dock into a window of its own.
class TrayHost
{
public:
    bool start()
    {
        m_x = XcbConnection::open();
        if (!m_x)
            return false;
        xcb_connection_t* c = m_x->connection();
        m_window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 200, 40, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t selection = m_x->atom("_NET_SYSTEM_TRAY_S0");
        m_opcode = m_x->atom("_NET_SYSTEM_TRAY_OPCODE");
        xcb_set_selection_owner(c, m_window, selection, XCB_CURRENT_TIME);
        auto owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
        const bool owned = owner && owner->owner == m_window;
        std::free(owner);
        if (!owned)
            return false;
        xcb_client_message_event_t manager {};
        manager.response_type = XCB_CLIENT_MESSAGE;
        manager.format = 32;
        manager.window = m_x->root();
        manager.type = m_x->atom("MANAGER");
        manager.data.data32[0] = XCB_CURRENT_TIME;
        manager.data.data32[1] = selection;
        manager.data.data32[2] = m_window;
        xcb_send_event(c, 0, m_x->root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&manager));
        xcb_flush(c);
        return true;
    }

    // Handles what arrived; the icon windows docked so far.
    QList<xcb_window_t> pump()
    {
        xcb_connection_t* c = m_x->connection();
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == m_opcode && message->data.data32[1] == 0 /* dock request */) {
                    const xcb_window_t icon = message->data.data32[2];
                    xcb_reparent_window(c, icon, m_window, 0, 0);
                    xcb_map_window(c, icon);
                    xcb_flush(c);
                    m_docked.append(icon);
                }
            }
            std::free(event);
        }
        return m_docked;
    }

    qint32 processOf(xcb_window_t window) { return m_x->processOf(window); }

private:
    std::shared_ptr<XcbConnection> m_x;
    xcb_window_t m_window = 0;
    xcb_atom_t m_opcode = 0;
    QList<xcb_window_t> m_docked;
};

QStringList titles(const QMenu& menu)
{
    QStringList result;
    for (QAction* action : menu.actions())
        result << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

} // namespace

class TestStatusItem : public QObject
{
    Q_OBJECT

private slots:
    void withoutTrayTheItemStaysHidden();
    void docksInATrayAndItsMenuDrivesTheApplication();
};

void TestStatusItem::withoutTrayTheItemStaysHidden()
{
    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    h.delegate->finishLaunching({"tessellon"});
    QVERIFY(h.delegate->statusItem());
    QVERIFY(!h.delegate->statusItem()->isDocked());
    QVERIFY(h.fixture.appLines().contains(
        QStringLiteral("No system tray: the status item is not shown; the library window opens instead")));
    // The library window opened at once; its menu bar carries the commands.
    QVERIFY(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible());
}

void TestStatusItem::docksInATrayAndItsMenuDrivesTheApplication()
{
    TrayHost tray;
    QVERIFY(tray.start());
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 5000);

    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    h.delegate->finishLaunching({"tessellon"});
    StatusItem* item = h.delegate->statusItem();
    QVERIFY(item && item->isDocked());
    QCOMPARE(item->trayIcon()->toolTip(), QString::fromUtf16(u"Tessellon \u2014 capture and browse selections"));
    QTRY_VERIFY_WITH_TIMEOUT(!tray.pump().isEmpty(), 5000);
    QCOMPARE(tray.processOf(tray.pump().first()), qint32(QCoreApplication::applicationPid()));

    QMenu& menu = *item->menu();
    QCOMPARE(titles(menu),
        (QStringList {"Open Tessellon", "Capture Selection  (Ctrl+Alt+Super+C)", QString::fromUtf16(u"New Prompt\u2026"),
            QString::fromUtf16(u"Open Prompt\u2026"), "Collect into Prompt", "-",
            QString::fromUtf16(u"Check for Updates\u2026"), QString::fromUtf16(u"Settings\u2026"), "-",
            "Quit Tessellon"}));
    // A tray menu answers no shortcut and shows none.
    for (QAction* action : menu.actions())
        QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));

    const auto find = [&menu](const QString& prefix) {
        for (QAction* action : menu.actions())
            if (action->text().startsWith(prefix))
                return action;
        return static_cast<QAction*>(nullptr);
    };
    // A plain start with a tray opens no window.
    QVERIFY(!h.delegate->mainWindow());
    find(QStringLiteral("Open Tessellon"))->trigger();
    QVERIFY(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible());
    find(QStringLiteral("Collect into Prompt"))->trigger();
    QVERIFY(h.fixture.store->collectIntoActiveDraft());
    QVERIFY(find(QStringLiteral("Collect into Prompt"))->isChecked());
    find(QStringLiteral("Capture Selection"))->trigger();
    QCOMPARE(h.captures.size(), 1);
    find(QStringLiteral("Settings"))->trigger();
    QVERIFY(h.delegate->settingsWindow() && h.delegate->settingsWindow()->isVisible());
    find(QStringLiteral("New Prompt"))->trigger();
    h.advance(std::chrono::milliseconds(350));
    QCOMPARE(h.notifications, QStringList {"TessellonNewPrompt"});
}

TESSELLON_GUI_TEST_MAIN(TestStatusItem)
#include "tst_StatusItem.moc"
