#include "support/MemoryAccessibility.h"

AccessibleValue MemoryAccessibleElement::attribute(AccessibleAttribute attribute) const
{
    ++m_reads;
    if (onRead)
        onRead(attribute);
    return m_values.value(attribute, AccessibleValue::absent());
}

void MemoryAccessibleElement::set(AccessibleAttribute attribute, AccessibleValue value)
{
    m_values.insert(attribute, std::move(value));
}

void MemoryAccessibleElement::setParent(std::shared_ptr<MemoryAccessibleElement> parent)
{
    set(AccessibleAttribute::Parent, AccessibleValue::ofElement(std::move(parent)));
}

AccessibleElementRef MemoryAccessibility::applicationElement(qint32 processIdentifier)
{
    ++applicationElementCalls;
    return m_applications.value(processIdentifier);
}

QList<std::shared_ptr<MemoryAccessibleElement>> MemoryAccessibility::addApplication(qint32 processIdentifier, int depth)
{
    QList<std::shared_ptr<MemoryAccessibleElement>> chain;
    for (int i = 0; i < depth; ++i) {
        auto element = std::make_shared<MemoryAccessibleElement>();
        if (!chain.isEmpty())
            chain.last()->setParent(element);
        chain.append(element);
    }
    auto app = std::make_shared<MemoryAccessibleElement>();
    if (!chain.isEmpty())
        app->set(AccessibleAttribute::FocusedElement, AccessibleValue::ofElement(chain.first()));
    m_applications.insert(processIdentifier, app);
    return chain;
}

std::shared_ptr<MemoryAccessibleElement> MemoryAccessibility::application(qint32 processIdentifier) const
{
    return m_applications.value(processIdentifier);
}
