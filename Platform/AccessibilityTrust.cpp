#include "Platform/AccessibilityTrust.h"

#include <QThread>

AccessibilityTrust::AccessibilityTrust(bool keystrokes, QObject* parent)
    : QObject(parent)
    , m_keystrokes(keystrokes)
{
}

void AccessibilityTrust::publish(AccessibilityBusState state)
{
    const AccessibilityBusState previous = m_state.exchange(state, std::memory_order_acq_rel);
    const bool now = trusted(state);
    if (trusted(previous) == now)
        return;
    if (QThread::currentThread() == thread())
        emit trustChanged(now);
    else
        QMetaObject::invokeMethod(
            this, [this, now] { emit trustChanged(now); }, Qt::QueuedConnection);
}
