#include "Zubra/Shell/StatusItem.h"

#include "Zubra/Shell/AppIcon.h"
#include "ZubraCore/Support/Logging.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

StatusItem::StatusItem(QMenu* menu, bool trayAvailable, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
    , m_docked(trayAvailable)
{
    m_tray = new QSystemTrayIcon(AppIcon::icon(), this);
    m_tray->setToolTip(toolTip);
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    if (!m_docked)
        logMP(QStringLiteral("No system tray: the status item is not shown; the library window opens instead"));
    // Shown either way: Qt docks the icon when a tray appears later.
    m_tray->show();
}

StatusItem::~StatusItem()
{
    m_tray->setContextMenu(nullptr);
}
