#include "Platform/X11/CopyCommand.h"

#include "Platform/X11/WindowApplication.h"
#include "Platform/X11/XcbConnection.h"

#include <QSet>

namespace {
using namespace Qt::StringLiterals;

// WM_CLASS names (lower case) of terminals that copy on Control+Shift+C.
const QSet<QString>& shiftTerminals()
{
    static const QSet<QString> classes {
        u"gnome-terminal"_s,
        u"gnome-terminal-server"_s,
        u"org.gnome.console"_s,
        u"kgx"_s,
        u"konsole"_s,
        u"xfce4-terminal"_s,
        u"mate-terminal"_s,
        u"lxterminal"_s,
        u"qterminal"_s,
        u"terminator"_s,
        u"tilix"_s,
        u"alacritty"_s,
        u"kitty"_s,
        u"foot"_s,
        u"wezterm"_s,
        u"org.wezfurlong.wezterm"_s,
        u"st"_s,
        u"st-256color"_s,
        u"terminology"_s,
        u"sakura"_s,
        u"guake"_s,
        u"tilda"_s,
        u"yakuake"_s,
        u"termite"_s,
        u"cool-retro-term"_s,
        u"x-terminal-emulator"_s,
    };
    return classes;
}

// The classic terminals, where Control+C reaches the running program.
const QSet<QString>& classicTerminals()
{
    static const QSet<QString> classes {
        u"xterm"_s,
        u"uxterm"_s,
        u"rxvt"_s,
        u"urxvt"_s,
        u"eterm"_s,
    };
    return classes;
}

// Programs where Control+C is not a copy: the classic terminals, Emacs (C-c starts a command;
// C-c C-c toggles a checkbox in an Org file) and GUI Vim (it ends Visual mode and loses the
// selection). Selecting puts the text into PRIMARY in all of them.
const QSet<QString>& selectionPrograms()
{
    static const QSet<QString> classes = classicTerminals() + QSet<QString> {u"emacs"_s, u"gvim"_s};
    return classes;
}

// Desktop ids (lower case) of the programs besides the terminals whose selection is their copy.
const QSet<QString>& selectionCopyIds()
{
    static const QSet<QString> ids {
        u"emacs"_s,
        u"emacsclient"_s,
        u"gvim"_s,
        u"mupdf"_s,
        u"mupdf-gl"_s,
        u"org.pwmt.zathura"_s,
        u"org.pwmt.zathura-pdf-poppler"_s,
        u"zathura"_s,
        u"xpdf"_s,
    };
    return ids;
}

bool either(const QSet<QString>& set, const QString& instance, const QString& className)
{
    return set.contains(instance.toLower()) || set.contains(className.toLower());
}
} // namespace

namespace CopyCommand {

Keys forWindowClass(const QString& instance, const QString& className)
{
    if (either(selectionPrograms(), instance, className))
        return Keys::none;
    if (either(shiftTerminals(), instance, className))
        return Keys::controlShift;
    return Keys::control;
}

bool isTerminalClass(const QString& instance, const QString& className)
{
    return either(classicTerminals(), instance, className) || either(shiftTerminals(), instance, className);
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
    return isTerminalClass(instance, className) || either(selectionPrograms(), instance, className)
        || selectionCopyIds().contains(desktopId.toLower());
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
