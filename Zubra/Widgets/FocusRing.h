#pragma once
// A visible mark around the control that has the keyboard focus inside one view (the main
// window's root): flat tool buttons, the sidebar's buttons and the scrolling panes draw none of
// their own. Lists are left out: their rows mark the current row themselves. The mark follows
// focus moved by the keyboard and by commands, not a click.

#include <QPointer>
#include <QWidget>

class FocusRing : public QWidget
{
    Q_OBJECT

public:
    explicit FocusRing(QWidget* root);
    ~FocusRing() override;

    // The control the mark is drawn around; none while it is hidden.
    QWidget* target() const { return isVisible() ? m_target.data() : nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(QWidget* widget);
    void place();
    void watchChain(bool on);

    QWidget* m_root;
    QPointer<QWidget> m_target;
    QList<QPointer<QWidget>> m_chain;
    QMetaObject::Connection m_destroyed;
};
