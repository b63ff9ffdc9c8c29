#pragma once
// Waits of the X11 tests on the state they need (a window managed, placed, sized or focused, the
// screen painted), never on a fixed time: a loaded machine makes them slower, not wrong. Each
// wait keeps the event loop going and is bounded; false (or nothing) when the time ran out.

#include "Platform/X11/XcbConnection.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>

namespace X11Wait {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds defaultTimeout = 10s;
inline constexpr std::chrono::milliseconds pollInterval = 20ms;

// Polls the condition until it holds.
inline bool until(const std::function<bool()>& condition, std::chrono::milliseconds timeout = defaultTimeout)
{
    QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QTest::qWait(int(pollInterval.count()));
    }
    return condition();
}

// The window is mapped on the screen, and (when it is a client window) the window manager took
// it: ICCCM's WM_STATE reads NormalState.
inline bool isShown(XcbConnection& x, xcb_window_t window)
{
    xcb_connection_t* c = x.connection();
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable)
        return false;
    const xcb_atom_t wmState = x.atom("WM_STATE");
    const auto state = x.property(window, wmState, wmState, 8, 32);
    constexpr uint32_t normalState = 1;
    return state && state->size() >= 4 && *reinterpret_cast<const uint32_t*>(state->constData()) == normalState;
}

// Waits until the window manager shows the window.
inline bool shown(xcb_window_t window, std::chrono::milliseconds timeout = defaultTimeout)
{
    auto x = XcbConnection::open();
    return x && until([&] { return isShown(*x, window); }, timeout);
}

// Where the X server has the window's top-left corner, in root coordinates.
inline std::optional<QPoint> rootPosition(XcbConnection& x, xcb_window_t window)
{
    xcb_connection_t* c = x.connection();
    auto* reply = xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, x.root(), 0, 0), nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint at(reply->dst_x, reply->dst_y);
    std::free(reply);
    return at;
}

// Waits until this process's top-level window is shown by the window manager and Qt knows where
// it ended up (the window manager may move a window it places): the X server's position of the
// window is the one Qt maps to. Pointer gestures computed with mapToGlobal land right after it.
inline bool placed(const QWindow* window, std::chrono::milliseconds timeout = defaultTimeout)
{
    auto x = XcbConnection::open();
    if (!x || !window)
        return false;
    const auto id = xcb_window_t(window->winId());
    return until(
        [&] {
            if (!isShown(*x, id))
                return false;
            const auto at = rootPosition(*x, id);
            return at && *at == window->mapToGlobal(QPoint(0, 0));
        },
        timeout);
}

// Waits until the window has the size (the window manager answered a resize).
inline bool sized(xcb_window_t window, QSize size, std::chrono::milliseconds timeout = defaultTimeout)
{
    auto x = XcbConnection::open();
    if (!x)
        return false;
    xcb_connection_t* c = x->connection();
    return until(
        [&] {
            auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
            const bool right = geometry && QSize(geometry->width, geometry->height) == size;
            std::free(geometry);
            return right;
        },
        timeout);
}

// Waits until the keyboard's input focus is in the window or one of its descendants.
inline bool focused(xcb_window_t window, std::chrono::milliseconds timeout = defaultTimeout)
{
    auto x = XcbConnection::open();
    if (!x)
        return false;
    xcb_connection_t* c = x->connection();
    return until(
        [&] {
            auto* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
            xcb_window_t w = focus ? focus->focus : xcb_window_t(XCB_WINDOW_NONE);
            std::free(focus);
            for (int depth = 0; w != XCB_WINDOW_NONE && w != x->root() && depth < 32; ++depth) {
                if (w == window)
                    return true;
                w = x->parentOf(w);
            }
            return false;
        },
        timeout);
}

// The screen once it has stopped changing: two grabs a poll apart are alike, so the windows on it
// have painted what they were asked to. A blinking text cursor settles between its blinks.
inline std::optional<QImage> settledScreen(std::chrono::milliseconds timeout = defaultTimeout)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    QImage last = screen->grabWindow(0).toImage();
    QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        QTest::qWait(int((5 * pollInterval).count()));
        QImage next = screen->grabWindow(0).toImage();
        if (!next.isNull() && next == last)
            return next;
        last = std::move(next);
    }
    return std::nullopt;
}

} // namespace X11Wait
