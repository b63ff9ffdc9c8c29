#include "ZubraCore/Drag/OwnDrags.h"

#include "ZubraCore/Drag/SelectionDragIDs.h"

#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QObject>

namespace OwnDrags {

namespace {

constexpr char sourceProperty[] = "tessellonRowDragSource";

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
            if (isOwn(*static_cast<QDropEvent*>(event))) {
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

void markSource(QObject* source)
{
    if (source)
        source->setProperty(sourceProperty, true);
}

bool isOwn(const QDropEvent& event)
{
    if (const QObject* source = event.source(); source && source->property(sourceProperty).toBool())
        return true;
    const QMimeData* data = event.mimeData();
    return data && data->hasText() && SelectionDragIDs::ids(data->text()).has_value();
}

void refuseIn(QObject* target)
{
    if (target)
        target->installEventFilter(new Refusal(target));
}

} // namespace OwnDrags
