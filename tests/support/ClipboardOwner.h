#pragma once
// Lets an X11 test program double as another program that owns the clipboard: started with the
// flag below, it reads its formats from standard input, takes the clipboard, prints "ready" and
// serves the formats until its standard input closes. One format may be made to hang the owner.

namespace ClipboardOwner {
inline constexpr char flag[] = "--own-clipboard";
bool isOwnerCall(int argc, char* argv[]);
int run(int argc, char* argv[]);
} // namespace ClipboardOwner
