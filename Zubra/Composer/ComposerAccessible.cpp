#include "Zubra/Composer/ComposerAccessible.h"

#include "Zubra/Composer/ComposeEntryAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace {

class MenuButtonElement final : public QAccessibleWidget
{
public:
    explicit MenuButtonElement(QToolButton* button)
        : QAccessibleWidget(button)
    {
    }

    QToolButton* button() const { return static_cast<QToolButton*>(widget()); }
    bool opensMenuOnClick() const { return button()->menu() && button()->popupMode() == QToolButton::InstantPopup; }

    QAccessible::Role role() const override
    {
        if (!button()->menu())
            return QAccessible::PushButton;
        return opensMenuOnClick() ? QAccessible::ButtonMenu : QAccessible::ButtonDropDown;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty())
            return button()->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = button()->isDown();
        state.hasPopup = button()->menu() != nullptr;
        return state;
    }

    QStringList actionNames() const override
    {
        if (!button()->isEnabled())
            return {};
        QStringList names;
        if (button()->menu())
            names.append(showMenuAction());
        if (!opensMenuOnClick())
            names.append(pressAction());
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override
    {
        if (!actionNames().contains(name))
            return;
        // The menu runs its own event loop until it closes: opened from the event loop, so that
        // the reader's request is answered first.
        if (name == showMenuAction())
            QMetaObject::invokeMethod(button(), &QToolButton::showMenu, Qt::QueuedConnection);
        else if (name == pressAction())
            button()->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

// No value interface: through one, assistive technology would offer Increase and Decrease.
class BudgetBarElement final : public QAccessibleWidget
{
public:
    explicit BudgetBarElement(QProgressBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return widget()->accessibleDescription();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {}; }
};

QAccessibleInterface* factory(const QString& key, QObject* object)
{
    if (QAccessibleInterface* list = ComposeEntryAccessible::elementFor(key, object))
        return list;
    if (key == u"ComposerMenuButton"_s)
        if (auto* button = qobject_cast<ComposerMenuButton*>(object))
            return new MenuButtonElement(button);
    if (key == u"ComposerBudgetBar"_s)
        if (auto* bar = qobject_cast<ComposerBudgetBar*>(object))
            return new BudgetBarElement(bar);
    return nullptr;
}

} // namespace

ComposerMenuButton::ComposerMenuButton(const QString& text, QWidget* parent)
    : QToolButton(parent)
{
    // The factory first: the text set below makes the element while a screen reader listens.
    ComposerAccessible::install();
    setText(text);
}

ComposerBudgetBar::ComposerBudgetBar(QWidget* parent)
    : QProgressBar(parent)
{
    ComposerAccessible::install();
}

namespace ComposerAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace ComposerAccessible
