#pragma once
// Accessibility through AT-SPI on an X11 desktop.
//
// libatspi ends the process when the accessibility bus cannot be reached, so the bus is
// checked first and libatspi is touched only once it answered; every call is bounded by
// atspi_set_timeout, and one application gets a total time budget, so a hung application
// costs at most that. AT-SPI runs on a private main context that only the calling thread
// drives; call from one thread at a time.
//
// Attributes: selected text = the text interface's selections (when the tree has none, the
// PRIMARY selection stands in, but only when the frontmost process owns it); Document = the
// document attribute "DocURL" (else "URI") when it is a file: address; URL = the same when it
// is an http(s) address; Parent = the accessible parent.
// Trust: X11 has no per-application grant; trusted = the xcb platform with XTEST present.

#include "Platform/Accessibility.h"

#include <QByteArray>
#include <memory>
#include <optional>

class XcbConnection;

class AtspiAccessibility final : public Accessibility
{
public:
    AtspiAccessibility();
    explicit AtspiAccessibility(std::shared_ptr<XcbConnection> connection);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    AccessibleElementRef applicationElement(qint32 processIdentifier) override;

    // Total time one application element may spend in AT-SPI calls.
    void setApplicationBudget(double seconds) { m_budget = seconds; }
    void setPrimaryFallback(bool enabled) { m_primaryFallback = enabled; }

    // The accessibility bus address when the bus answers within the timeout, else nothing.
    static std::optional<QByteArray> reachableBusAddress(XcbConnection* connection, int timeoutMs = 1000);

private:
    bool ensureAtspi();

    std::shared_ptr<XcbConnection> m_connection;
    double m_budget = 2.5;
    bool m_primaryFallback = true;
};
