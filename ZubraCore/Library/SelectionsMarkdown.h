#pragma once
// Markdown copies of selections: each capture under a heading with its app and time, captures
// separated by horizontal rules, and for a source a title heading first.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QList>
#include <QString>

namespace SelectionsMarkdown {

// The selection's Markdown as stored.
QString single(const Selection& selection);

// One block per selection, oldest first (equal times keep their order); "" for none.
QString document(const QList<Selection>& selections);

// The source's title block, then the blocks of `document`. The selections are not filtered.
QString fromSource(const QList<Selection>& selections, const SourceIdentity& source);

// "yyyy-MM-dd HH:mm" in the current locale and local time zone.
QString headingTime(const QDateTime& time);

} // namespace SelectionsMarkdown
