#pragma once
// What the widgets under test show, as text to compare: menus and the pasteboard's plain text.

#include "Platform/Pasteboard.h"

#include <QMenu>

namespace WidgetText {

// The pasteboard's plain text; empty when there is none.
inline QString plainOf(Pasteboard& pasteboard)
{
    return pasteboard.string(PasteboardType::plainText).value_or(QString());
}

// The menu as text: "-" for a separator, a submenu as "name>" then its items indented, "[x] "
// before a checked item and " (off)" after a disabled one.
inline QStringList describe(const QMenu& menu, const QString& indent = {})
{
    QStringList lines;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            lines.append(indent + QStringLiteral("-"));
        } else if (action->menu()) {
            lines.append(indent + action->text() + QStringLiteral(">"));
            lines += describe(*action->menu(), indent + QStringLiteral("  "));
        } else {
            lines.append(indent + (action->isChecked() ? QStringLiteral("[x] ") : QString()) + action->text()
                + (action->isEnabled() ? QString() : QStringLiteral(" (off)")));
        }
    }
    return lines;
}

} // namespace WidgetText
