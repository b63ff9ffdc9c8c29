#pragma once
// Which offered update may go on: only a higher build number whose archive lies at the exact
// address the vendor publishes for that build. Every refusal is the same error.

#include <QString>
#include <QStringView>
#include <optional>

namespace UpdatePolicy {

struct Error
{
    QString domain;
    int code = 0;
    QString description;

    friend bool operator==(const Error&, const Error&) = default;
};

// Domain "Tessellon.Update", code 1, "This update could not be verified. Please try again later."
Error refusal();

// What the updater tells about one offered update.
struct OfferedItem
{
    QString versionString; // the build number
    std::optional<QString> fileURL; // the archive's address, exactly as offered
};

// Nothing when the update may proceed, else the refusal. runningBuild is the build number of
// the running program, when it has one; downloadLocation ends in "/".
std::optional<Error> shouldProceed(
    const std::optional<QString>& runningBuild, const OfferedItem& item, const QString& downloadLocation);

// An optional "+" or "-" and one or more ASCII digits, nothing else, within 64 bits.
std::optional<qint64> readBuildNumber(QStringView text);

} // namespace UpdatePolicy
