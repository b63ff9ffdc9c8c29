// Preloaded into a program under measurement: notes, on the first image a window (or any
// drawable) receives, the monotonic time and the drawable, one line per drawable, in the file
// named by TESSELLON_PAINT_LOG. Qt's X11 backing store pushes every painted frame with one of
// these three requests, so the first of them for a window is the moment it is first painted.
//
// The requests are forwarded unchanged; the libxcb types are spelled out here so that the probe
// needs no X11 headers.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct VoidCookie
{
    unsigned int sequence;
};

constexpr int maxDrawables = 256;
std::atomic<std::uint32_t> seen[maxDrawables];
std::atomic<int> seenCount {0};

void note(std::uint32_t drawable, const char* request)
{
    const int count = seenCount.load();
    for (int i = 0; i < count && i < maxDrawables; ++i)
        if (seen[i].load() == drawable)
            return;
    const int slot = seenCount.fetch_add(1);
    if (slot < maxDrawables)
        seen[slot].store(drawable);
    const char* path = std::getenv("TESSELLON_PAINT_LOG");
    if (!path)
        return;
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%lld.%09ld 0x%x %s\n", static_cast<long long>(now.tv_sec),
        now.tv_nsec, drawable, request);
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, line, static_cast<size_t>(length));
    ::close(fd);
}

// The real function. Qt's platform plugin, which brings the xcb libraries, is opened with local
// symbols, where RTLD_NEXT does not look: the library is then asked by name.
template <typename Function> Function next(const char* name, const char* library)
{
    void* found = ::dlsym(RTLD_NEXT, name);
    if (!found) {
        if (void* handle = ::dlopen(library, RTLD_NOW | RTLD_NOLOAD))
            found = ::dlsym(handle, name);
    }
    if (!found)
        std::abort();
    return reinterpret_cast<Function>(found);
}

} // namespace

extern "C" {

VoidCookie xcb_shm_put_image(void* c, std::uint32_t drawable, std::uint32_t gc, std::uint16_t totalWidth,
    std::uint16_t totalHeight, std::uint16_t srcX, std::uint16_t srcY, std::uint16_t srcWidth, std::uint16_t srcHeight,
    std::int16_t dstX, std::int16_t dstY, std::uint8_t depth, std::uint8_t format, std::uint8_t sendEvent,
    std::uint32_t shmseg, std::uint32_t offset)
{
    using Fn = VoidCookie (*)(void*, std::uint32_t, std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t,
        std::uint16_t, std::uint16_t, std::uint16_t, std::int16_t, std::int16_t, std::uint8_t, std::uint8_t,
        std::uint8_t, std::uint32_t, std::uint32_t);
    static const Fn real = next<Fn>("xcb_shm_put_image", "libxcb-shm.so.0");
    note(drawable, "shm_put_image");
    return real(c, drawable, gc, totalWidth, totalHeight, srcX, srcY, srcWidth, srcHeight, dstX, dstY, depth, format,
        sendEvent, shmseg, offset);
}

VoidCookie xcb_put_image(void* c, std::uint8_t format, std::uint32_t drawable, std::uint32_t gc, std::uint16_t width,
    std::uint16_t height, std::int16_t dstX, std::int16_t dstY, std::uint8_t leftPad, std::uint8_t depth,
    std::uint32_t dataLength, const std::uint8_t* data)
{
    using Fn = VoidCookie (*)(void*, std::uint8_t, std::uint32_t, std::uint32_t, std::uint16_t, std::uint16_t,
        std::int16_t, std::int16_t, std::uint8_t, std::uint8_t, std::uint32_t, const std::uint8_t*);
    static const Fn real = next<Fn>("xcb_put_image", "libxcb.so.1");
    note(drawable, "put_image");
    return real(c, format, drawable, gc, width, height, dstX, dstY, leftPad, depth, dataLength, data);
}

VoidCookie xcb_copy_area(void* c, std::uint32_t src, std::uint32_t dst, std::uint32_t gc, std::int16_t srcX,
    std::int16_t srcY, std::int16_t dstX, std::int16_t dstY, std::uint16_t width, std::uint16_t height)
{
    using Fn = VoidCookie (*)(void*, std::uint32_t, std::uint32_t, std::uint32_t, std::int16_t, std::int16_t,
        std::int16_t, std::int16_t, std::uint16_t, std::uint16_t);
    static const Fn real = next<Fn>("xcb_copy_area", "libxcb.so.1");
    note(dst, "copy_area");
    return real(c, src, dst, gc, srcX, srcY, dstX, dstY, width, height);
}

} // extern "C"
