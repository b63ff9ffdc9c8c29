#pragma once
// SIGTERM and SIGINT end the program the way Quit does: the handler only writes a byte into a
// pipe, and the event loop turns that byte into a signal on the GUI thread.

#include <QObject>

class QSocketNotifier;

class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers for the life of the process; only one object may exist.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

// Turns the session's accessibility bus on (org.a11y.Status IsEnabled), so that toolkits publish
// their trees; false when the bus did not take it.
bool enableAccessibilityBus();
