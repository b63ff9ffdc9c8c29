#include "Platform/X11/CopyCommand.h"

#include "Platform/X11/WindowApplication.h"
#include "Platform/X11/XcbConnection.h"

#include <QHash>

namespace {
using namespace Qt::StringLiterals;

// What a lower-case WM_CLASS name or desktop id says of how the program copies.
enum Trait : quint8 {
    shiftTerminal = 1, // class: a terminal that copies on Control+Shift+C
    classicTerminal = 2, // class: a classic terminal, where Control+C reaches the running program
    // Class: a program where Control+C is not a copy: Emacs (C-c starts a command; C-c C-c
    // toggles a checkbox in an Org file) and GUI Vim (it ends Visual mode and loses the selection).
    // Selecting puts the text into PRIMARY in them, as in the classic terminals.
    noCopyKeystroke = 4,
    selectionCopyId = 8, // desktop id: a program besides the terminals whose selection is its copy
};

quint8 traitsOf(const QString& name)
{
    static const QHash<QString, quint8> traits {
        {u"gnome-terminal"_s, shiftTerminal},
        {u"gnome-terminal-server"_s, shiftTerminal},
        {u"org.gnome.console"_s, shiftTerminal},
        {u"kgx"_s, shiftTerminal},
        {u"konsole"_s, shiftTerminal},
        {u"xfce4-terminal"_s, shiftTerminal},
        {u"mate-terminal"_s, shiftTerminal},
        {u"lxterminal"_s, shiftTerminal},
        {u"qterminal"_s, shiftTerminal},
        {u"terminator"_s, shiftTerminal},
        {u"tilix"_s, shiftTerminal},
        {u"alacritty"_s, shiftTerminal},
        {u"kitty"_s, shiftTerminal},
        {u"foot"_s, shiftTerminal},
        {u"wezterm"_s, shiftTerminal},
        {u"org.wezfurlong.wezterm"_s, shiftTerminal},
        {u"st"_s, shiftTerminal},
        {u"st-256color"_s, shiftTerminal},
        {u"terminology"_s, shiftTerminal},
        {u"sakura"_s, shiftTerminal},
        {u"guake"_s, shiftTerminal},
        {u"tilda"_s, shiftTerminal},
        {u"yakuake"_s, shiftTerminal},
        {u"termite"_s, shiftTerminal},
        {u"cool-retro-term"_s, shiftTerminal},
        {u"x-terminal-emulator"_s, shiftTerminal},
        {u"xterm"_s, classicTerminal},
        {u"uxterm"_s, classicTerminal},
        {u"rxvt"_s, classicTerminal},
        {u"urxvt"_s, classicTerminal},
        {u"eterm"_s, classicTerminal},
        {u"emacs"_s, noCopyKeystroke | selectionCopyId},
        {u"gvim"_s, noCopyKeystroke | selectionCopyId},
        {u"emacsclient"_s, selectionCopyId},
        {u"mupdf"_s, selectionCopyId},
        {u"mupdf-gl"_s, selectionCopyId},
        {u"org.pwmt.zathura"_s, selectionCopyId},
        {u"org.pwmt.zathura-pdf-poppler"_s, selectionCopyId},
        {u"zathura"_s, selectionCopyId},
        {u"xpdf"_s, selectionCopyId},
    };
    return traits.value(name.toLower());
}

// Whether the window's class (its instance or class name) has one of the traits.
bool classHas(quint8 traits, const QString& instance, const QString& className)
{
    return ((traitsOf(instance) | traitsOf(className)) & traits) != 0;
}
} // namespace

namespace CopyCommand {

Keys forWindowClass(const QString& instance, const QString& className)
{
    if (classHas(classicTerminal | noCopyKeystroke, instance, className))
        return Keys::none;
    if (classHas(shiftTerminal, instance, className))
        return Keys::controlShift;
    return Keys::control;
}

bool isTerminalClass(const QString& instance, const QString& className)
{
    return classHas(classicTerminal | shiftTerminal, instance, className);
}

bool isTerminal(XcbConnection& connection, xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE)
        return false;
    const auto windowClass = connection.windowClass(window);
    return windowClass && isTerminalClass(windowClass->instance, windowClass->className);
}

bool selectingIsCopy(const QString& desktopId, const QString& instance, const QString& className)
{
    return classHas(classicTerminal | shiftTerminal | noCopyKeystroke, instance, className)
        || (traitsOf(desktopId) & selectionCopyId);
}

bool selectingIsCopy(XcbConnection& connection, xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE)
        return false;
    const auto windowClass = connection.windowClass(window);
    const auto app = applicationOfWindow(connection, window);
    const QString id = app ? app->bundleIdentifier.value_or(QString()) : QString();
    return selectingIsCopy(
        id, windowClass ? windowClass->instance : QString(), windowClass ? windowClass->className : QString());
}

Keys forWindow(XcbConnection& connection, xcb_window_t window)
{
    if (window == XCB_WINDOW_NONE)
        return Keys::control;
    if (auto windowClass = connection.windowClass(window))
        return forWindowClass(windowClass->instance, windowClass->className);
    return Keys::control;
}

} // namespace CopyCommand
