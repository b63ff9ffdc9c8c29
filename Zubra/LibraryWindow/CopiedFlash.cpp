#include "Zubra/LibraryWindow/CopiedFlash.h"

#include "Zubra/LibraryWindow/ReduceMotion.h"

#include <QTimer>
#include <QVariantAnimation>

CopiedFlash::CopiedFlash(QObject* parent, std::chrono::milliseconds hold)
    : QObject(parent)
    , m_hold(hold)
{
}

void CopiedFlash::flash(const QUuid& id)
{
    fadeTo(id, 1, fadeIn, true);
    QTimer::singleShot(m_hold, this, [this, id] { fadeTo(id, 0, fadeOut, false); });
}

void CopiedFlash::fadeTo(const QUuid& id, qreal target, std::chrono::milliseconds duration, bool easeOut)
{
    if (QVariantAnimation* running = m_animations.take(id))
        running->stop(); // deletes itself
    if (ReduceMotion::isOn()) {
        setOpacity(id, target);
        return;
    }
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(opacity(id));
    animation->setEndValue(target);
    animation->setDuration(int(duration.count()));
    animation->setEasingCurve(easeOut ? QEasingCurve::OutCubic : QEasingCurve::InCubic);
    connect(animation, &QVariantAnimation::valueChanged, this,
        [this, id](const QVariant& value) { setOpacity(id, value.toReal()); });
    connect(animation, &QVariantAnimation::finished, this, [this, id, animation, target] {
        if (m_animations.value(id) == animation)
            m_animations.remove(id);
        setOpacity(id, target);
    });
    m_animations.insert(id, animation);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void CopiedFlash::setOpacity(const QUuid& id, qreal value)
{
    if (value <= 0) {
        if (m_opacity.remove(id))
            emit changed(id);
        return;
    }
    if (m_opacity.value(id, -1) == value)
        return;
    m_opacity.insert(id, value);
    emit changed(id);
}
