#include "Zubra/Widgets/FocusRing.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int ringWidth = 2;
constexpr int outset = ringWidth + 1;

} // namespace

FocusRing::FocusRing(QWidget* root)
    : QWidget(root)
    , m_root(root)
{
    setObjectName(u"focusRing"_qs);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    qApp->installEventFilter(this);
}

FocusRing::~FocusRing()
{
    qApp->removeEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget != QApplication::focusWidget())
            break;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason && widget == m_target) {
            place(); // back from a menu that the control opened
            break;
        }
        const bool marked = widget != this && m_root->isAncestorOf(widget) && reason != Qt::MouseFocusReason
            && !qobject_cast<QAbstractItemView*>(widget);
        follow(marked ? widget : nullptr);
        break;
    }
    case QEvent::FocusOut:
        if (watched == m_target && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason
            && !m_root->isAncestorOf(QApplication::focusWidget()))
            follow(nullptr);
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (m_target && watched != this && (watched == m_target || m_chain.contains(qobject_cast<QWidget*>(watched))))
            place();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::follow(QWidget* widget)
{
    disconnect(m_destroyed);
    m_target = widget;
    if (widget)
        m_destroyed = connect(widget, &QObject::destroyed, this, &QWidget::hide);
    m_chain.clear();
    for (QWidget* w = widget ? widget->parentWidget() : nullptr; w && w != m_root; w = w->parentWidget())
        m_chain.append(w);
    place();
}

void FocusRing::place()
{
    if (!m_target || !m_target->isVisible()) {
        hide();
        return;
    }
    // Only the part of the control that shows: a scrolled pane may hide some of it.
    QRect area = m_target->rect();
    for (QWidget* w = m_target; w && w != m_root && w->parentWidget(); w = w->parentWidget())
        area = QRect(w->mapToParent(area.topLeft()), area.size()).intersected(w->parentWidget()->rect());
    if (area.isEmpty()) {
        hide();
        return;
    }
    setGeometry(area.adjusted(-outset, -outset, outset, outset).intersected(m_root->rect()));
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(palette().color(QPalette::Highlight), ringWidth);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal half = ringWidth / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 4, 4);
}
