#include "Zubra/LibraryWindow/WindowNotifications.h"

#include <QCoreApplication>
#include <QPointer>

WindowNotifications& WindowNotifications::shared()
{
    // Parented to the application so that it goes with it; a test may create several
    // applications in turn, so the instance is re-made when its parent has gone.
    static QPointer<WindowNotifications> instance;
    if (!instance) {
        instance = new WindowNotifications;
        instance->setParent(QCoreApplication::instance());
    }
    return *instance;
}
