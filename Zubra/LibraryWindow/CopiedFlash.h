#pragma once
// The transient "Copied" mark of library rows: shown at once (a short fade in) after a copy and
// hidden 1.4 s later (a short fade out). Every copy schedules its own hiding and none cancels
// another, so two copies in a row end 1.4 s after the first.

#include <QHash>
#include <QObject>
#include <QUuid>
#include <chrono>

class QVariantAnimation;

class CopiedFlash : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds showFor {1400};
    static constexpr std::chrono::milliseconds fadeIn {150};
    static constexpr std::chrono::milliseconds fadeOut {200};

    explicit CopiedFlash(QObject* parent = nullptr, std::chrono::milliseconds hold = showFor);

    void flash(const QUuid& id);
    // 0 when hidden, 1 when shown, in between while fading.
    qreal opacity(const QUuid& id) const { return m_opacity.value(id, 0); }
    bool isShown(const QUuid& id) const { return opacity(id) > 0; }

signals:
    void changed(const QUuid& id);

private:
    void fadeTo(const QUuid& id, qreal target, std::chrono::milliseconds duration, bool easeOut);
    void setOpacity(const QUuid& id, qreal value);

    std::chrono::milliseconds m_hold;
    QHash<QUuid, qreal> m_opacity;
    QHash<QUuid, QVariantAnimation*> m_animations;
};
