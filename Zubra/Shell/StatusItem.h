#pragma once
// The status item: the application icon in the desktop's system tray (an XEmbed tray or a
// StatusNotifierItem host), with the status menu. A left click pops the menu up as well. Without
// a tray the item stays hidden; the library window opens at start and its menu bar carries every
// command.

#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;

class StatusItem final : public QObject
{
    Q_OBJECT

public:
    static inline const QString toolTip = QStringLiteral("Tessellon \u2014 capture and browse selections");

    // Takes the menu. trayAvailable: a tray can show the item now.
    StatusItem(QMenu* menu, bool trayAvailable, QObject* parent = nullptr);
    ~StatusItem() override;

    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // A tray took the item when it was set up.
    bool isDocked() const { return m_docked; }

private:
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_docked = false;
};
