#pragma once
// Deterministic library content for the persistence tests.

#include "ZubraCore/Library/StoreSnapshot.h"

#include <QByteArray>
#include <QString>

namespace LibraryFixtures {

// The n-th identifier of a family (a small number naming the kind of record).
QUuid id(int family, int n);
// A whole-second UTC time n minutes after a fixed start.
QDateTime time(int n);

// The n-th selection: every optional field present for some n, absent for others.
Selection selection(int n, int textSize = 40);
// A library with that many selections, two groups and two drafts (the first active).
StoreSnapshot snapshot(int selections, int textSize = 40);

// Writes bytes to a file (creating folders), failing the test on error.
bool writeFile(const QString& path, const QByteArray& bytes);
// The whole file, or a null array when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace LibraryFixtures
