#include "Zubra/Shell/StatusItem.h"

#include "Zubra/Shell/BrandMark.h"
#include "Zubra/Shell/ShellX11.h"
#include "Zubra/Shell/StatusItemAccessible.h"
#include "ZubraCore/Support/Logging.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

StatusItem::StatusItem(QMenu* menu, bool trayAvailable, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
    , m_docked(trayAvailable)
    , m_panelText(&StatusItemPanel::trayTextColor)
{
    m_tray = new QSystemTrayIcon(this);
    const QWidgetList before = QApplication::topLevelWidgets();
    refreshIcon();
    m_tray->setToolTip(toolTip);
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    // Also told of palette changes (a theme switched to dark), which change the variant.
    m_menu->installEventFilter(this);
    StatusItemAccessible::listWhileShown(m_menu.get());
    if (!m_docked)
        logMP(QStringLiteral("No system tray: the status item is not shown; the library window opens instead"));
    // Shown either way: Qt docks the icon when a tray appears later.
    m_tray->show();
    // The icon's window for an XEmbed tray, made by show(): once docked and painted, the panel
    // around it is known.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->inherits("QSystemTrayIconSys") && !before.contains(window)) {
            m_trayWindow = window;
            window->installEventFilter(this);
        }
}

StatusItem::~StatusItem()
{
    // The menu outlives the other members: what it is told while destroyed no longer reaches here.
    m_menu->removeEventFilter(this);
    if (m_trayWindow)
        m_trayWindow->removeEventFilter(this);
    m_tray->setContextMenu(nullptr);
}

void StatusItem::setPanelTextSource(std::function<std::optional<QColor>()> source)
{
    m_panelText = std::move(source);
    refreshIcon();
}

QColor StatusItem::markColor(
    const std::optional<QColor>& panelText, const std::optional<QColor>& panelBackground, const QPalette& palette)
{
    if (panelText && panelText->isValid())
        return panelText->toRgb();
    const QColor background
        = panelBackground && panelBackground->isValid() ? *panelBackground : palette.color(QPalette::Window);
    return background.lightness() < 128 ? lightMark : darkMark;
}

std::optional<QColor> StatusItem::panelBackground() const
{
    if (!m_trayWindow || !m_trayWindow->isVisible())
        return std::nullopt;
    return ShellX11::backgroundAround(ShellX11::connection(), xcb_window_t(m_trayWindow->winId()));
}

void StatusItem::refreshIcon()
{
    const QColor color
        = markColor(m_panelText ? m_panelText() : std::nullopt, panelBackground(), QApplication::palette());
    if (color == m_markColor && !m_tray->icon().isNull())
        return;
    m_markColor = color;
    m_tray->setIcon(BrandMark::statusIcon(color));
}

QAction* StatusItem::actionForKey(const QKeyEvent& event) const
{
    const QKeySequence pressed(QKeyCombination(event.modifiers() & ~Qt::KeypadModifier, Qt::Key(event.key())));
    for (QAction* action : m_menu->actions()) {
        if (action->isSeparator() || !action->isEnabled() || !action->isVisible() || action->shortcut().isEmpty())
            continue;
        if (action->shortcut().matches(pressed) == QKeySequence::ExactMatch)
            return action;
    }
    return nullptr;
}

bool StatusItem::eventFilter(QObject* watched, QEvent* event)
{
    // Painted: docked, or its panel changed under it. Looked at once the painting is done.
    if (watched == m_trayWindow && event->type() == QEvent::Paint && !m_panelCheckPending) {
        m_panelCheckPending = true;
        QTimer::singleShot(0, this, [this] {
            m_panelCheckPending = false;
            refreshIcon();
        });
        return false;
    }
    if (watched == m_menu.get() && event->type() == QEvent::ApplicationPaletteChange) {
        refreshIcon();
        return false;
    }
    if (watched != m_menu.get() || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return false;
    QAction* action = actionForKey(*static_cast<QKeyEvent*>(event));
    if (!action)
        return false;
    // Taken here, not by the shortcut map: no window's shortcut is asked.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        // As a click on the item: the menu closes, then the command runs.
        m_menu->hide();
        action->trigger();
    }
    return true;
}

namespace StatusItemPanel {

std::optional<QColor> trayTextColor()
{
    xcb_connection_t* c = ShellX11::connection();
    const xcb_window_t tray = ShellX11::screenSelectionOwner(c, "_NET_SYSTEM_TRAY_S");
    if (tray == XCB_WINDOW_NONE)
        return std::nullopt;
    const xcb_atom_t colors = ShellX11::atom(c, "_NET_SYSTEM_TRAY_COLORS");
    if (colors == XCB_ATOM_NONE)
        return std::nullopt;
    // Twelve 16-bit components as CARDINALs: the normal, error, warning and success colours.
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, tray, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr),
        &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 3 * 4)
        return std::nullopt;
    const auto* value = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    const auto component = [](uint32_t v) { return int(qMin<uint32_t>(v, 0xFFFF) >> 8); };
    return QColor(component(value[0]), component(value[1]), component(value[2]));
}

} // namespace StatusItemPanel
