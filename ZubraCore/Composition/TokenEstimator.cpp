#include "ZubraCore/Composition/TokenEstimator.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <QLocale>
#include <cmath>

namespace TokenEstimator {

qint64 estimateForCount(qint64 characters, const ModelProfile& profile)
{
    if (characters <= 0)
        return 0;
    // A ratio that is not a positive finite number would make the estimate meaningless.
    const double perToken
        = (std::isfinite(profile.charsPerToken) && profile.charsPerToken > 0) ? profile.charsPerToken : 4.0;
    const double tokens = std::ceil(double(characters) / perToken);
    if (!(tokens < 9.2e18))
        return std::numeric_limits<qint64>::max();
    return qint64(tokens);
}

qint64 estimate(QStringView text, const ModelProfile& profile)
{
    if (text.isEmpty())
        return 0;
    return estimateForCount(TextMetrics::count(text), profile);
}

QString format(qint64 count)
{
    const QString text = QLocale().toString(count);
    return text.isEmpty() ? QString::number(count) : text;
}

} // namespace TokenEstimator
