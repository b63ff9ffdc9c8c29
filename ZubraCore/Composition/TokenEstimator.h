#pragma once
// The token estimate: ceil(characters / characters per token), characters being grapheme clusters.

#include "ZubraCore/Library/ModelProfile.h"

#include <QString>
#include <QStringView>

namespace TokenEstimator {

qint64 estimate(QStringView text, const ModelProfile& profile);

// The estimate for a text already known to hold `characters` clusters.
qint64 estimateForCount(qint64 characters, const ModelProfile& profile);

// The count with the current locale's grouping ("1,048,576" in en_US).
QString format(qint64 count);

} // namespace TokenEstimator
