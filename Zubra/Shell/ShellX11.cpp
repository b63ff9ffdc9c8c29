#include "Zubra/Shell/ShellX11.h"

#include <QGuiApplication>
#include <QHash>
#include <QRect>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Waits for the answer. An error (the window went away, or is not wholly on screen) comes back
// here instead of reaching Qt's event queue, which would warn about it.
template<typename Cookie, typename T>
Reply<T> answer(xcb_connection_t* c, Cookie cookie, T* (*get)(xcb_connection_t*, Cookie, xcb_generic_error_t**))
{
    xcb_generic_error_t* error = nullptr;
    T* r = get(c, cookie, &error);
    std::free(error);
    return Reply<T>(r, &std::free);
}

// How far around the window its surroundings are read, and how many of those pixels make an
// answer.
constexpr int surroundings = 6;
constexpr int fewestPixels = 24;

const xcb_visualtype_t* visualOf(xcb_connection_t* c, xcb_visualid_t id)
{
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(c)); screens.rem; xcb_screen_next(&screens))
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths))
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem; xcb_visualtype_next(&visuals))
                if (visuals.data->visual_id == id)
                    return visuals.data;
    return nullptr;
}

int bitsPerPixel(xcb_connection_t* c, uint8_t depth)
{
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i)
        if (formats[i].depth == depth)
            return formats[i].bits_per_pixel;
    return 0;
}

// The most frequent colour of the area's pixels outside `inner`; none unless they are 32-bit
// true-colour pixels with 8 bits a channel.
std::optional<QColor> commonColour(xcb_connection_t* c, xcb_window_t window, const QRect& area, const QRect& inner)
{
    const auto image = answer(c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, int16_t(area.x()), int16_t(area.y()),
            uint16_t(area.width()), uint16_t(area.height()), ~0u),
        xcb_get_image_reply);
    if (!image)
        return std::nullopt;
    const xcb_visualtype_t* visual = visualOf(c, image->visual);
    if (!visual || bitsPerPixel(c, image->depth) != 32 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00
        || visual->blue_mask != 0xFF)
        return std::nullopt;
    const int length = xcb_get_image_data_length(image.get());
    if (length < area.width() * area.height() * 4)
        return std::nullopt;
    const bool bigEndian = xcb_get_setup(c)->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    const uint8_t* data = xcb_get_image_data(image.get());
    QHash<QRgb, int> counts;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            if (inner.contains(area.x() + x, area.y() + y))
                continue;
            const uint8_t* p = data + (y * area.width() + x) * 4;
            const uint32_t pixel = bigEndian
                ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
            ++counts[qRgb(int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF))];
        }
    if (counts.isEmpty())
        return std::nullopt;
    auto most = counts.cbegin();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most.value())
            most = it;
    return QColor(most.key());
}

} // namespace

namespace ShellX11 {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

int screenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int number = display.mid(dot + 1).toInt(&ok);
    return ok && number >= 0 && number < 256 ? number : 0;
}

xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t screenSelectionOwner(xcb_connection_t* c, const QByteArray& prefix)
{
    if (!c)
        return XCB_WINDOW_NONE;
    const xcb_atom_t selection = atom(c, prefix + QByteArray::number(screenNumber()));
    if (selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr), &std::free);
    return owner ? owner->owner : xcb_window_t(XCB_WINDOW_NONE);
}

std::optional<QColor> backgroundAround(xcb_connection_t* c, xcb_window_t window)
{
    if (!c || window == XCB_WINDOW_NONE)
        return std::nullopt;
    const auto own = answer(c, xcb_get_geometry(c, window), xcb_get_geometry_reply);
    if (!own)
        return std::nullopt;
    // A tray puts its icon in a socket of the icon's size, itself in the panel: a few levels up.
    xcb_window_t ancestor = window;
    for (int level = 0; level < 4; ++level) {
        const auto tree = answer(c, xcb_query_tree(c, ancestor), xcb_query_tree_reply);
        if (!tree || tree->parent == XCB_WINDOW_NONE || tree->parent == tree->root)
            return std::nullopt;
        ancestor = tree->parent;
        const auto bounds = answer(c, xcb_get_geometry(c, ancestor), xcb_get_geometry_reply);
        const auto origin
            = answer(c, xcb_translate_coordinates(c, window, ancestor, 0, 0), xcb_translate_coordinates_reply);
        if (!bounds || !origin)
            return std::nullopt;
        const QRect inner(origin->dst_x, origin->dst_y, own->width, own->height);
        const QRect area = inner.adjusted(-surroundings, -surroundings, surroundings, surroundings)
            & QRect(0, 0, bounds->width, bounds->height);
        const QRect covered = inner & area;
        if (area.width() * area.height() - covered.width() * covered.height() >= fewestPixels)
            return commonColour(c, ancestor, area, inner);
    }
    return std::nullopt;
}

} // namespace ShellX11
