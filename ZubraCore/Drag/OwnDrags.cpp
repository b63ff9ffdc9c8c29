#include "ZubraCore/Drag/OwnDrags.h"

#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QObject>

namespace OwnDrags {

namespace {

class Refusal final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (isOwn(static_cast<QDropEvent*>(event)->mimeData())) {
                // Ignored and handled: the application offers the drag to the parent instead.
                event->ignore();
                return true;
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void mark(QMimeData& data)
{
    data.setData(mimeType, QByteArray("1"));
}

bool isOwn(const QMimeData* data)
{
    return data && data->hasFormat(mimeType);
}

void refuseIn(QObject* target)
{
    if (target)
        target->installEventFilter(new Refusal(target));
}

} // namespace OwnDrags
