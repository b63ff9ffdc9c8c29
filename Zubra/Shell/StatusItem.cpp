#include "Zubra/Shell/StatusItem.h"

#include "Zubra/Shell/BrandMark.h"
#include "ZubraCore/Support/Logging.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

StatusItem::StatusItem(QMenu* menu, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
{
    m_tray = new QSystemTrayIcon(BrandMark::statusIcon(), this);
    m_tray->setToolTip(toolTip);
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    m_docked = QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_docked)
        logMP(QStringLiteral("No system tray: the status item is not shown; the window's menu bar has every command"));
    // Shown either way: Qt docks the icon when a tray appears later.
    m_tray->show();
}

StatusItem::~StatusItem()
{
    m_tray->setContextMenu(nullptr);
}
