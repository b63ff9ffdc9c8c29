#pragma once
// In-memory accessibility trees for tests: elements hold fixed attribute values and count
// how often they are read.

#include "Platform/Accessibility.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <functional>

class MemoryAccessibleElement final : public AccessibleElement
{
public:
    AccessibleValue attribute(AccessibleAttribute attribute) const override;
    // An attribute never set reads as absent.
    void set(AccessibleAttribute attribute, AccessibleValue value);
    void setText(AccessibleAttribute attribute, const QString& text) { set(attribute, AccessibleValue::ofText(text)); }
    void setParent(std::shared_ptr<MemoryAccessibleElement> parent);
    // Number of attribute reads so far, over all attributes.
    int reads() const { return m_reads; }
    // Runs before each read, as an application that acts when it is asked.
    std::function<void(AccessibleAttribute)> onRead;

private:
    QMap<AccessibleAttribute, AccessibleValue> m_values;
    mutable int m_reads = 0;
};

class MemoryAccessibility final : public Accessibility
{
public:
    bool isTrusted() override { return trusted; }
    AccessibleElementRef applicationElement(qint32 processIdentifier) override;

    // Registers an application whose focused element is the first of a chain of `depth`
    // elements, each the parent of the one before; returns the chain, focused element first.
    QList<std::shared_ptr<MemoryAccessibleElement>> addApplication(qint32 processIdentifier, int depth = 1);
    std::shared_ptr<MemoryAccessibleElement> application(qint32 processIdentifier) const;

    bool trusted = true;
    int applicationElementCalls = 0;

private:
    QHash<qint32, std::shared_ptr<MemoryAccessibleElement>> m_applications;
};
