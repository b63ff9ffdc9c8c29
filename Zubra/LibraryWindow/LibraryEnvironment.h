#pragma once
// What the library views need from outside the store: the clipboard, the workspace, the shell,
// application icons, and the locale, time zone and moments that dates are shown in. The program
// passes the real services; tests pass doubles; the off-screen export passes fixed values and
// no shell, with which every outside action does nothing.

#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "ZubraCore/Library/Selection.h"

#include <QDateTime>
#include <QIcon>
#include <QLocale>
#include <QTimeZone>
#include <functional>
#include <memory>
#include <optional>

class Pasteboard;
class ShellActions;
class Workspace;

struct LibraryEnvironment
{
    Pasteboard* pasteboard = nullptr; // the general clipboard; none: copies do nothing
    Workspace* workspace = nullptr; // opens addresses, reveals files; none: nothing happens
    ShellActions* shell = nullptr; // capture, trust, hotkey text; none: the do-nothing shell
    // The icon of a selection's application; none: the application icon cache.
    std::function<QIcon(const Selection&)> icon;
    QLocale locale = QLocale();
    QTimeZone timeZone = QTimeZone::systemTimeZone();
    // The moment rows measure their relative dates from; none: now, in the named style.
    std::optional<QDateTime> relativeDateReference;
    // The current time; none: the system clock.
    std::function<QDateTime()> now;
    // What the menu bar and the rows post to the main window; copies of an environment share it.
    std::shared_ptr<WindowNotifications> notifications = std::make_shared<WindowNotifications>();

    QIcon iconFor(const Selection& selection) const;
    QDateTime currentTime() const { return now ? now() : QDateTime::currentDateTimeUtc(); }
    // The row's relative date: numeric from the reference when there is one, else named from now.
    QString relativeDate(const QDateTime& time) const;
    ShellActions& shellActions() const;
};
