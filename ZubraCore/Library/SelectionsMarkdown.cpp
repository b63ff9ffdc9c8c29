#include "ZubraCore/Library/SelectionsMarkdown.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <limits>

namespace {

const QString separator = QStringLiteral("\n\n---\n\n");

qint64 timeKey(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

QStringList captureBlocks(const QList<Selection>& selections)
{
    QList<const Selection*> ordered;
    ordered.reserve(selections.size());
    for (const Selection& s : selections)
        ordered.append(&s);
    std::stable_sort(ordered.begin(), ordered.end(),
        [](const Selection* a, const Selection* b) { return timeKey(a->createdAt) < timeKey(b->createdAt); });
    QStringList blocks;
    blocks.reserve(ordered.size());
    for (const Selection* s : ordered)
        blocks.append(u"## "_qs + s->appName + u" \u00B7 "_qs + SelectionsMarkdown::headingTime(s->createdAt)
            + u"\n\n"_qs + s->markdown());
    return blocks;
}

} // namespace

namespace SelectionsMarkdown {

QString single(const Selection& selection)
{
    return selection.markdown();
}

QString document(const QList<Selection>& selections)
{
    return captureBlocks(selections).join(separator);
}

QString fromSource(const QList<Selection>& selections, const SourceIdentity& source)
{
    QStringList blocks {u"# "_qs + source.display()};
    blocks.append(captureBlocks(selections));
    return blocks.join(separator);
}

QString headingTime(const QDateTime& time)
{
    return QLocale().toString(time.toLocalTime(), u"yyyy-MM-dd HH:mm"_qs);
}

} // namespace SelectionsMarkdown
