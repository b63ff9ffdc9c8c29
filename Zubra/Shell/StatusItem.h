#pragma once
// The status item: the brand mark in the desktop's system tray (an XEmbed tray or a
// StatusNotifierItem host), with the status menu. A left click pops the menu up as well. Without
// a tray the item stays hidden; the library window opens at start and its menu bar carries every
// command.
//
// The mark is one colour, as panels show their icons: the panel's text colour where the tray
// says it (_NET_SYSTEM_TRAY_COLORS), else a light or a dark variant chosen by the panel's own
// background as the X server shows it around the icon, else by the palette (a tray that draws
// the icon itself). While its menu is open, the keys its items show (Ctrl+1, Ctrl+N, …) choose
// them.

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QKeyEvent;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class StatusItem final : public QObject
{
    Q_OBJECT

public:
    static inline const QString toolTip = QStringLiteral("Tessellon \u2014 capture and browse selections");
    static constexpr QColor lightMark {0xF2, 0xF2, 0xF2};
    static constexpr QColor darkMark {0x1F, 0x1F, 0x1F};

    // Takes the menu. trayAvailable: a tray can show the item now.
    StatusItem(QMenu* menu, bool trayAvailable, QObject* parent = nullptr);
    ~StatusItem() override;

    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // A tray took the item when it was set up.
    bool isDocked() const { return m_docked; }

    // The colour the tray asks icons to be drawn in; by default the XEmbed tray's answer.
    void setPanelTextSource(std::function<std::optional<QColor>()> source);
    // The mark's colour: the panel's text colour when known; else light on a dark panel and dark
    // on a light one; without either, the palette's window colour stands for the panel.
    static QColor markColor(const std::optional<QColor>& panelText, const std::optional<QColor>& panelBackground,
        const QPalette& palette);
    QColor currentMarkColor() const { return m_markColor; }

    // The menu's item whose key that press is, when it can be chosen.
    QAction* actionForKey(const QKeyEvent& event) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshIcon();
    // What the panel shows around the docked icon; none before it docks.
    std::optional<QColor> panelBackground() const;

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_docked = false;
    std::function<std::optional<QColor>()> m_panelText;
    // The window Qt docks in an XEmbed tray; none with a StatusNotifierItem host.
    QPointer<QWidget> m_trayWindow;
    bool m_panelCheckPending = false;
    QColor m_markColor;
};

namespace StatusItemPanel {
// The normal foreground of the XEmbed tray that holds the selection for Qt's screen, from its
// _NET_SYSTEM_TRAY_COLORS; none without such a tray or property, or off X11.
std::optional<QColor> trayTextColor();
} // namespace StatusItemPanel
