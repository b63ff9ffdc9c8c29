#pragma once
// Accessibility through AT-SPI on an X11 desktop, spoken over D-Bus directly.
//
// Each object talks to the accessibility bus over a private connection of its own, from the
// calling thread; every call carries its own timeout and one application element gets a total
// time budget, so a hung or slow application costs at most that. Nothing is dispatched on the
// GUI thread and no toolkit accessibility library keeps state in this process. The bus is
// checked before it is used.
//
// The application is found by its process id among the applications registered on the bus;
// its focused element is the one it last reported gaining the focus (AtspiFocusTracker), else
// found by state: once the hotkey's keys are up (their grab hides the focus from GTK 3), by one
// Collection query where the toolkit answers it without walking its whole tree, else by a walk
// bounded in elements and time (showing elements first, then those only visible, active
// windows first).
//
// Attributes: selected text = the text interface's selections (when the tree has none, the
// PRIMARY selection stands in, but only for a program whose selecting is its copy (terminals,
// Emacs, GUI Vim, document viewers such as mupdf and zathura: CopyCommand::selectingIsCopy), for
// a known focused element that is not a password field, and only when the frontmost process, or
// a windowless program running inside it such as vim in a terminal, owns PRIMARY); Protected =
// the password-text role; Document = the document attribute "DocURL" (else "URI") when it is a
// file: address; URL = the same when it is an http(s) address (a document in a frame of another
// document gives neither: the page the window shows is the top-level document; the frame a
// browser hosts its top-level document in is no such frame); Parent = the accessible parent. A
// terminal where selecting is copying (xterm), which has no tree, is one element whose selected
// text is its PRIMARY selection; so is such a program without a tree (mupdf), when its front
// window's own X client owns the selection. A browser or a toolkit without a tree gets no
// stand-in: nothing tells its password fields, and some put a selected password on PRIMARY.
// Without a reachable accessibility bus there is no element at all (no PRIMARY stand-in either).
// Trust: X11 has no per-application grant; trusted = the xcb platform with XTEST present.

#include "Platform/Accessibility.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class AtspiFocusTracker;
class XcbConnection;

class AtspiAccessibility final : public Accessibility
{
public:
    static constexpr std::chrono::milliseconds applicationBudget {2500};
    static constexpr std::chrono::milliseconds callTimeout {700};
    // The part of the budget the walk to the focused element may take.
    static constexpr std::chrono::milliseconds walkBudget {500};

    AtspiAccessibility();
    explicit AtspiAccessibility(std::shared_ptr<XcbConnection> connection);
    ~AtspiAccessibility() override;

    bool isTrusted() override;
    AccessibleElementRef applicationElement(qint32 processIdentifier) override;

    // Whether the focus events of the applications on the bus are followed, waiting at most
    // `wait` for the listener to connect.
    bool followsFocus(std::chrono::milliseconds wait);
    // Stops following them, for every reader of the process (at quit), without waiting.
    void stopFollowingFocus();

    // Total time one application element may spend in AT-SPI calls.
    void setApplicationBudget(std::chrono::milliseconds budget) { m_budget = budget; }
    void setPrimaryFallback(bool enabled) { m_primaryFallback = enabled; }

    // The accessibility bus address when the bus answers within the timeout, else nothing.
    static std::optional<QByteArray> reachableBusAddress(
        XcbConnection* connection, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

private:
    bool ensureBus();

    std::shared_ptr<XcbConnection> m_connection;
    std::shared_ptr<AtspiFocusTracker> m_tracker;
    std::chrono::milliseconds m_budget = applicationBudget;
    bool m_primaryFallback = true;
    QString m_busName; // the private connection's name once connected
};
