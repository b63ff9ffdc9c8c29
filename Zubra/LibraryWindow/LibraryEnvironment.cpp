#include "Zubra/LibraryWindow/LibraryEnvironment.h"

#include "Zubra/Widgets/IconCache.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Support/RelativeDate.h"

QIcon LibraryEnvironment::iconFor(const Selection& selection) const
{
    if (icon)
        return icon(selection);
    return IconCache::shared().icon(selection.bundleID, selection.appName);
}

QString LibraryEnvironment::relativeDate(const QDateTime& time) const
{
    if (relativeDateReference)
        return RelativeDate::format(time, *relativeDateReference, RelativeDate::Style::numeric, locale, timeZone);
    return RelativeDate::format(time, currentTime(), RelativeDate::Style::named, locale, timeZone);
}

ShellActions& LibraryEnvironment::shellActions() const
{
    static NoShellActions none;
    return shell ? *shell : none;
}
