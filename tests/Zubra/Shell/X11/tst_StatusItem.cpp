// The status item on a real X server: without a system tray it stays hidden and says so in the
// log; with a tray (this test's own XEmbed host, holding _NET_SYSTEM_TRAY_S0) it docks showing the
// brand mark in the tray's text colour, or else in the variant its panel's background asks for
// whatever the palette, and its menu's items drive the application, also by the keys the menu
// shows while it is open (pressed through xdotool), without taking a window's keys; while open,
// a screen reader finds the menu and its items beside the windows.

#include "../../App/AppHarness.h"
#include "../../ReviewImage.h"
#include "Platform/X11/XcbConnection.h"
#include "Zubra/App/MenuBar.h"
#include "Zubra/Shell/StatusItem.h"
#include "support/AtspiTree.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// A minimal system tray: owns the tray selection, announces itself, and takes every icon that
// asks to dock into a window of its own.
class TrayHost
{
public:
    // Takes the tray selection once; true while this host holds it.
    bool start()
    {
        if (m_x)
            return true;
        m_x = XcbConnection::open();
        if (!m_x)
            return false;
        xcb_connection_t* c = m_x->connection();
        m_window = xcb_generate_id(c);
        // A panel on screen, as a desktop's: out of the window manager's hands.
        const uint32_t values[] {m_background.rgb() & 0xFFFFFF, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 200, 40, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, m_window);
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

    // Says which colour the icons draw in (_NET_SYSTEM_TRAY_COLORS, 16 bits a component), or
    // takes that back.
    void setTextColor(std::optional<QColor> color)
    {
        xcb_connection_t* c = m_x->connection();
        const xcb_atom_t property = m_x->atom("_NET_SYSTEM_TRAY_COLORS");
        if (!color) {
            xcb_delete_property(c, m_window, property);
        } else {
            std::array<uint32_t, 12> values {};
            for (int i = 0; i < 4; ++i) {
                values[3 * i] = uint32_t(color->red()) * 0x101;
                values[3 * i + 1] = uint32_t(color->green()) * 0x101;
                values[3 * i + 2] = uint32_t(color->blue()) * 0x101;
            }
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_window, property, XCB_ATOM_CARDINAL, 32, 12, values.data());
        }
        xcb_flush(c);
    }

    // Paints the panel in that colour; a light desktop theme's (grey) unless told.
    void setBackground(const QColor& color)
    {
        m_background = color;
        if (!m_x)
            return;
        xcb_connection_t* c = m_x->connection();
        const uint32_t pixel = color.rgb() & 0xFFFFFF;
        xcb_change_window_attributes(c, m_window, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(c, 1, m_window, 0, 0, 0, 0);
        xcb_flush(c);
    }
    QColor background() const { return m_background; }

private:
    QColor m_background {0x80, 0x80, 0x80};
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

// Pixels of the panel's area on screen near that colour.
int pixelsNear(const QImage& screen, const QColor& color)
{
    int count = 0;
    for (int y = 0; y < 40 && y < screen.height(); ++y)
        for (int x = 0; x < 200 && x < screen.width(); ++x) {
            const QColor pixel = screen.pixelColor(x, y);
            count += qAbs(pixel.red() - color.red()) + qAbs(pixel.green() - color.green())
                    + qAbs(pixel.blue() - color.blue())
                < 24;
        }
    return count;
}

// Pixels of the panel's area that are neither its background, nor the mark's colour, nor a blend
// of the two: a colour icon has many, a one-colour mark none (a few at most, where Qt's tray
// window meets the panel).
int foreignPixels(const QImage& screen, const QColor& mark, const QColor& background)
{
    const double br = background.red(), bg = background.green(), bb = background.blue();
    const double dr = mark.red() - br, dg = mark.green() - bg, db = mark.blue() - bb;
    const double length = dr * dr + dg * dg + db * db;
    int count = 0;
    for (int y = 0; y < 40 && y < screen.height(); ++y)
        for (int x = 0; x < 200 && x < screen.width(); ++x) {
            const QColor p = screen.pixelColor(x, y);
            const double t
                = qBound(0.0, ((p.red() - br) * dr + (p.green() - bg) * dg + (p.blue() - bb) * db) / length, 1.0);
            const double er = p.red() - (br + t * dr), eg = p.green() - (bg + t * dg), eb = p.blue() - (bb + t * db);
            count += std::sqrt(er * er + eg * eg + eb * eb) > 40;
        }
    return count;
}

QAction* find(QMenu& menu, const QString& prefix)
{
    for (QAction* action : menu.actions())
        if (action->text().startsWith(prefix))
            return action;
    return nullptr;
}

} // namespace

class TestStatusItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withoutTrayTheItemStaysHidden();
    void docksInATrayAndItsMenuDrivesTheApplication();
    void markInThePanelsColour_data();
    void markInThePanelsColour();
    void keysWhileTheMenuIsOpen_data();
    void keysWhileTheMenuIsOpen();
    void aWindowKeepsItsKeys();
    void openMenuInTheAccessibleTree();

private:
    // Docks a new status item of the harness and pops its menu up with a click on the icon.
    bool openMenuByClick(AppHarness& h);

    TrayHost m_tray;
};

void TestStatusItem::initTestCase()
{
    QVERIFY(X11Programs::available(QStringLiteral("xdotool")));
}

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
    TrayHost& tray = m_tray;
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
        (QStringList {"Open Tessellon", "Capture Selection  (Ctrl+Alt+Super+C)",
            QString::fromUtf16(u"New Prompt\u2026"), QString::fromUtf16(u"Open Prompt\u2026"), "Collect into Prompt",
            "-", QString::fromUtf16(u"Check for Updates\u2026"), QString::fromUtf16(u"Settings\u2026"), "-",
            "Quit Tessellon"}));
    // The keys the items show.
    QStringList keys;
    for (QAction* action : menu.actions())
        keys << action->shortcut().toString();
    QCOMPARE(keys, (QStringList {"Ctrl+1", "Ctrl+2", "Ctrl+N", "Ctrl+3", "", "", "", "Ctrl+,", "", "Ctrl+Q"}));
    const auto find = [&menu](const QString& prefix) { return ::find(menu, prefix); };
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

bool TestStatusItem::openMenuByClick(AppHarness& h)
{
    if (!m_tray.start() || !X11Wait::until([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
        return false;
    const qsizetype before = m_tray.pump().size();
    h.delegate->finishLaunching({"tessellon"});
    StatusItem* item = h.delegate->statusItem();
    if (!item || !item->isDocked())
        return false;
    // The newest icon docked is this item's.
    if (!X11Wait::until([&] { return m_tray.pump().size() > before; }))
        return false;
    const QString icon = QString::number(m_tray.pump().last());
    QMenu* menu = item->menu();
    for (int attempt = 0; attempt < 3 && !menu->isVisible(); ++attempt) {
        X11Programs::run(QStringLiteral("xdotool"), {"mousemove", "--window", icon, "4", "4", "click", "1"});
        X11Wait::until([menu] { return menu->isVisible(); }, std::chrono::seconds(3));
    }
    // The popup holds the keyboard once it is mapped.
    return menu->isVisible() && X11Wait::until([menu] { return QApplication::activePopupWidget() == menu; });
}

void TestStatusItem::markInThePanelsColour_data()
{
    QTest::addColumn<std::optional<QColor>>("panelText");
    QTest::addColumn<QColor>("panel");
    QTest::addColumn<bool>("darkPalette");
    QTest::addColumn<QColor>("mark");
    const QColor light(0xDC, 0xDA, 0xD5);
    const QColor dark(0x2B, 0x2B, 0x2E);
    QTest::newRow("the tray names its text colour")
        << std::optional<QColor>(QColor(255, 140, 0)) << light << true << QColor(255, 140, 0);
    QTest::newRow("light panel, light palette") << std::optional<QColor>() << light << false << StatusItem::darkMark;
    QTest::newRow("light panel, dark palette") << std::optional<QColor>() << light << true << StatusItem::darkMark;
    QTest::newRow("dark panel, light palette") << std::optional<QColor>() << dark << false << StatusItem::lightMark;
    QTest::newRow("dark panel, dark palette") << std::optional<QColor>() << dark << true << StatusItem::lightMark;
}

void TestStatusItem::markInThePanelsColour()
{
    QFETCH(std::optional<QColor>, panelText);
    QFETCH(QColor, panel);
    QFETCH(bool, darkPalette);
    QFETCH(QColor, mark);
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x2B, 0x2B, 0x2E));
    dark.setColor(QPalette::WindowText, QColor(0xEC, 0xEC, 0xEE));
    QApplication::setPalette(darkPalette ? dark : light);
    const auto restore = qScopeGuard([&] {
        QApplication::setPalette(light);
        m_tray.setTextColor(std::nullopt);
        m_tray.setBackground(QColor(0x80, 0x80, 0x80));
    });
    QVERIFY(m_tray.start());
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 5000);
    m_tray.setTextColor(panelText);
    m_tray.setBackground(panel);
    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    const qsizetype docked = m_tray.pump().size();
    h.delegate->finishLaunching({"tessellon"});
    StatusItem* item = h.delegate->statusItem();
    QVERIFY(item && item->isDocked());
    QVERIFY(X11Wait::until([&] { return m_tray.pump().size() > docked; }));
    // Once docked and painted, the mark takes the panel's variant.
    QTRY_COMPARE(item->currentMarkColor(), mark);
    // On the panel: the mark's strokes in that colour, and not the application's colour icon.
    QImage screen;
    QVERIFY(X11Wait::until([&] {
        m_tray.pump();
        const auto settled = X11Wait::settledScreen(std::chrono::seconds(2));
        screen = settled.value_or(QImage());
        return pixelsNear(screen, mark) >= 12;
    }));
    const int foreign = foreignPixels(screen, mark, panel);
    QVERIFY2(foreign <= 4, qPrintable(QString::number(foreign)));
    // A change of the palette leaves the mark as the panel wants it.
    QApplication::setPalette(darkPalette ? light : dark);
    QCoreApplication::processEvents();
    QCOMPARE(item->currentMarkColor(), mark);
    ReviewImage::saveForReview(screen.copy(0, 0, 200, 40).scaled(800, 160),
        QStringLiteral("tray-") + mark.name().mid(1) + QStringLiteral("-on-") + panel.name().mid(1));
}

void TestStatusItem::keysWhileTheMenuIsOpen_data()
{
    QTest::addColumn<QString>("chord");
    QTest::addColumn<QString>("effect");
    QTest::newRow("Ctrl+1 opens the library window") << "ctrl+1"
                                                     << "window";
    QTest::newRow("Ctrl+2 captures") << "ctrl+2"
                                     << "capture";
    QTest::newRow("Ctrl+N starts a prompt") << "ctrl+n"
                                            << "TessellonNewPrompt";
    QTest::newRow("Ctrl+3 opens the prompt") << "ctrl+3"
                                             << "TessellonOpenPrompt";
    QTest::newRow("Ctrl+, opens the settings") << "ctrl+comma"
                                               << "settings";
    QTest::newRow("Ctrl+Q quits") << "ctrl+q"
                                  << "quit";
}

void TestStatusItem::keysWhileTheMenuIsOpen()
{
    QFETCH(QString, chord);
    QFETCH(QString, effect);
    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    QSignalSpy terminating(h.delegate.get(), &AppDelegate::terminating);
    QVERIFY(openMenuByClick(h));
    QMenu* menu = h.delegate->statusItem()->menu();
    QVERIFY(X11Programs::key(chord));
    QVERIFY(X11Wait::until([menu] { return !menu->isVisible(); }));
    h.advance(std::chrono::milliseconds(350));
    if (effect == u"window")
        QTRY_VERIFY(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible());
    else if (effect == u"capture")
        QTRY_COMPARE(h.captures.size(), 1);
    else if (effect == u"settings")
        QTRY_VERIFY(h.delegate->settingsWindow() && h.delegate->settingsWindow()->isVisible());
    else if (effect == u"quit")
        QTRY_COMPARE(terminating.size(), 1);
    else
        QTRY_COMPARE(h.notifications, QStringList {effect});
    // One command, once.
    QCOMPARE(h.captures.size(), effect == u"capture" ? 1 : 0);
    QCOMPARE(terminating.size(), effect == u"quit" ? 1 : 0);
}

// With the menu closed, the library window's keys are the menu bar's: Ctrl+N starts one prompt,
// Ctrl+1 (no window command) does nothing, and no key is ambiguous.
void TestStatusItem::aWindowKeepsItsKeys()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("[Aa]mbiguous")));
    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    QVERIFY(openMenuByClick(h));
    QMenu* menu = h.delegate->statusItem()->menu();
    menu->hide();
    h.delegate->showMainWindow();
    QMainWindow* window = h.delegate->mainWindow();
    const QString id = QString::number(window->winId());
    QVERIFY(X11Programs::activate(id));
    QTRY_VERIFY(window->isActiveWindow());
    QVERIFY(X11Programs::key(QStringLiteral("ctrl+1")));
    QVERIFY(X11Programs::key(QStringLiteral("ctrl+n")));
    QTest::qWait(200);
    h.advance(std::chrono::milliseconds(350));
    QTRY_COMPARE(h.notifications, QStringList {"TessellonNewPrompt"});
    QVERIFY(!h.delegate->settingsWindow());
    QCOMPARE(h.captures.size(), 0);
}

// While the status menu is open, a screen reader walking the application's tree finds it, named
// as the status item, with its items; an item's action chooses it. Closed, the menu leaves the
// tree and the windows stay in it.
void TestStatusItem::openMenuInTheAccessibleTree()
{
    AppHarness h(ShellFixture::Library::empty, std::nullopt, {}, true);
    QVERIFY(openMenuByClick(h));
    QList<AtspiTree::Element> tree = AtspiTree::read();
    const int menu = AtspiTree::indexOf(tree, QStringLiteral("Tessellon menu"), QStringLiteral("popup menu"));
    QStringList listed;
    for (const AtspiTree::Element& e : tree)
        if (e.parent < 0)
            listed << e.role + u' ' + e.name;
    QVERIFY2(menu >= 0, qPrintable(QStringLiteral("the application lists: ") + listed.join(u", ")));
    QCOMPARE(tree[menu].parent, -1); // one of the application's own elements
    QStringList items;
    for (const AtspiTree::Element& item : AtspiTree::childrenOf(tree, menu))
        items << item.name;
    QCOMPARE(items, titles(*h.delegate->statusItem()->menu()).replaceInStrings(QStringLiteral("-"), QString()));
    const auto open = AtspiTree::named(tree, QStringLiteral("Open Tessellon"), QStringLiteral("menu item"));
    QVERIFY(open);
    QVERIFY2(!open->actions.isEmpty(), "no action");
    bool done = false;
    AtspiTree::withReader([&](AtspiTree::Reader& reader) { done = reader.doAction(open->ref, open->actions.first()); });
    QVERIFY(done);
    QTRY_VERIFY(h.delegate->mainWindow() && h.delegate->mainWindow()->isVisible());
    QTRY_VERIFY(!h.delegate->statusItem()->menu()->isVisible());

    tree = AtspiTree::read();
    QVERIFY(!AtspiTree::named(tree, QStringLiteral("Tessellon menu")));
    QVERIFY(!AtspiTree::named(tree, QStringLiteral("Open Tessellon")));
    QVERIFY(AtspiTree::indexOf(tree, QStringLiteral("Tessellon"), QStringLiteral("frame")) >= 0);
}

TESSELLON_GUI_TEST_MAIN(TestStatusItem)
#include "tst_StatusItem.moc"
