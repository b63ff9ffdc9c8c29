#pragma once
// Reads other applications' accessibility trees: whether this process may, the element that
// stands for an application, and named attributes of elements. Backends answer from other
// processes, so every read may fail or give a value of an unexpected kind.

#include <QString>
#include <QtGlobal>
#include <memory>

class AccessibleElement;
using AccessibleElementRef = std::shared_ptr<const AccessibleElement>;

enum class AccessibleAttribute {
    FocusedElement, // of an application element: the element with the keyboard focus
    SelectedText, // the text the user has selected in the element
    Document, // the address of the document the element shows (a file address)
    URL, // the web address the element shows
    Parent, // the element that contains this one
    Protected, // a flag: the element holds a password or other text that must never be read
    // A flag: the element stands for a program without a tree (its selection is the program's
    // PRIMARY selection); nothing tells what kind of field it shows.
    StandIn,
};

// One attribute read: it failed, it succeeded with no value, or it gave a text, an element or
// a value of some other kind.
struct AccessibleValue
{
    enum class Kind { Failed, Absent, Text, Element, Flag, Other };
    Kind kind = Kind::Failed;
    QString text;
    AccessibleElementRef element;
    bool flag = false;

    static AccessibleValue failed() { return {}; }
    static AccessibleValue absent() { return {Kind::Absent, {}, {}}; }
    static AccessibleValue other() { return {Kind::Other, {}, {}}; }
    static AccessibleValue ofText(const QString& text) { return {Kind::Text, text, {}}; }
    static AccessibleValue ofFlag(bool flag) { return {Kind::Flag, {}, {}, flag}; }
    static AccessibleValue ofElement(AccessibleElementRef element)
    {
        return element ? AccessibleValue {Kind::Element, {}, std::move(element)} : absent();
    }
};

class AccessibleElement
{
public:
    virtual ~AccessibleElement() = default;
    virtual AccessibleValue attribute(AccessibleAttribute attribute) const = 0;
};

class Accessibility
{
public:
    virtual ~Accessibility() = default;
    // True when this process may read other applications' trees and post key events to them.
    virtual bool isTrusted() = 0;
    // The element of the application running as this process, or null when there is none.
    virtual AccessibleElementRef applicationElement(qint32 processIdentifier) = 0;
};
