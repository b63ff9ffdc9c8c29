#pragma once
// Six sample captures from five applications over two days, and one fixed instant to date them
// against: the content of the off-screen export, and of an empty library opened with
// "-showWindowOnLaunch".

#include "ZubraCore/Library/Selection.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace SampleData {

// 2026-09-01 10:30:00 UTC.
QDateTime screenshotReferenceDate();

// The six samples, newest first, each dated before the instant; fresh ids on every call, no
// groups.
QList<Selection> sampleSelections(const QDateTime& now);

// An ISO 8601 date-time with a zone designator; text that is not one gives the current time.
QDateTime iso(const QString& text);

} // namespace SampleData
