#pragma once
// One running instance per user: the first process claims the channel and hears requests; a
// later one finds it and asks it to show its window.

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <optional>

class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    // The request a later instance sends to the running one.
    static inline const QString showWindowRequest = QStringLiteral("TessellonShowWindowRequest");

    struct RunningInstance
    {
        qint64 processIdentifier = 0; // 0 when the running instance could not be named
    };

    using QObject::QObject;

    // Decides once, before anything else is set up: nothing when this process is now the one
    // instance (it then hears requests), else the instance that already runs.
    virtual std::optional<RunningInstance> claim() = 0;
    // Sends the show-window request to the running instance; true when it was delivered.
    virtual bool sendShowWindowRequest() = 0;
    // After a hand-off that was not delivered: this process becomes the one that hears requests.
    virtual void takeOver() {}

signals:
    // The running instance was asked to show its window.
    void showWindowRequested();
};
