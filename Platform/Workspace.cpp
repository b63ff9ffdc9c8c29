#include "Platform/Workspace.h"

bool Workspace::isOpenableAddress(const QString& address)
{
    // The scheme as written: everything before the first colon, which must be followed by more.
    const qsizetype colon = address.indexOf(u':');
    if (colon <= 0 || colon + 1 >= address.size())
        return false;
    const QStringView scheme = QStringView(address).first(colon);
    for (const char* allowed : {"http", "https", "mailto"})
        if (scheme.compare(QLatin1String(allowed), Qt::CaseInsensitive) == 0)
            return !address.contains(u'\n') && !address.contains(u'\r') && !address.contains(QChar(0));
    return false;
}

QString RunningApplication::boundedName(const QString& name)
{
    if (name.size() <= maxNameLength)
        return name;
    qsizetype length = maxNameLength;
    if (name.at(length - 1).isHighSurrogate())
        --length;
    return name.left(length);
}
