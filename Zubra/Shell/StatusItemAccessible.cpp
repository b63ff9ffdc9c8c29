#include "Zubra/Shell/StatusItemAccessible.h"

#include <QAccessibleObject>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QWindow>

namespace {

QList<QPointer<QMenu>>& listedMenus()
{
    static QList<QPointer<QMenu>> menus;
    return menus;
}

class ApplicationElement final : public QAccessibleObject
{
public:
    explicit ApplicationElement(QObject* application)
        : QAccessibleObject(application)
    {
    }

    QAccessibleInterface* parent() const override { return nullptr; }
    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const QObjectList list = children();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? int(children().indexOf(child->object())) : -1;
    }
    QAccessibleInterface* focusChild() const override
    {
        const QWindow* window = QGuiApplication::focusWindow();
        return window ? window->accessibleRoot() : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QCoreApplication::applicationName();
        if (t == QAccessible::Description)
            return QCoreApplication::applicationFilePath();
        return {};
    }
    QAccessible::Role role() const override { return QAccessible::Application; }
    QAccessible::State state() const override { return {}; }

private:
    // Qt's choice first (the windows, pop-ups and the desktop left out), then the shown menus.
    static QObjectList children()
    {
        QObjectList list;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->type() == Qt::Popup || window->type() == Qt::Desktop)
                continue;
            if (const QAccessibleInterface* root = window->accessibleRoot(); root && root->object())
                list.append(root->object());
        }
        for (const QPointer<QMenu>& menu : std::as_const(listedMenus()))
            if (menu && menu->isVisible())
                list.append(menu);
        return list;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    return object && object == QCoreApplication::instance() ? new ApplicationElement(object) : nullptr;
}

} // namespace

namespace StatusItemAccessible {

void listWhileShown(QMenu* menu)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        // A screen reader may have met Qt's own element already: it gives way to this one.
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(QCoreApplication::instance());
        if (root && !dynamic_cast<ApplicationElement*>(root))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(root));
        return true;
    }();
    Q_UNUSED(installed);
    listedMenus().removeAll(nullptr);
    listedMenus().append(menu);
}

} // namespace StatusItemAccessible
