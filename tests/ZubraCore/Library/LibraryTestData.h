#pragma once
// Compact selection fixtures for the library tests.
// A line is "label|app|HH:mm|url|path": label becomes the text and markdown, the time is on
// 2025-03-14 UTC, an empty url or path is absent ("-" gives an empty but present file path).

#include "ZubraCore/Library/Selection.h"

#include <QStringList>
#include <QUuid>

namespace LibraryTestData {

inline QDateTime at(const QString& hhmm, int seconds = 0)
{
    const QTime time = QTime::fromString(hhmm, u"HH:mm"_qs).addSecs(seconds);
    return QDateTime(QDate(2025, 3, 14), time, Qt::UTC);
}

inline Selection fromLine(const QString& line)
{
    const QStringList f = line.split(u'|');
    Selection s;
    s.id = QUuid::createUuid();
    s.text = f.value(0);
    s.setMarkdown(s.text);
    s.appName = f.value(1);
    s.createdAt = at(f.value(2, u"00:00"_qs));
    if (!f.value(3).isEmpty())
        s.sourceURL = f.value(3);
    if (f.value(4) == u"-")
        s.filePath = QString();
    else if (!f.value(4).isEmpty())
        s.filePath = f.value(4);
    return s;
}

inline QList<Selection> fromLines(const QStringList& lines)
{
    QList<Selection> list;
    for (const QString& line : lines)
        list.append(fromLine(line));
    return list;
}

inline QStringList labels(const QList<Selection>& selections)
{
    QStringList out;
    for (const Selection& s : selections)
        out.append(s.text);
    return out;
}

} // namespace LibraryTestData
