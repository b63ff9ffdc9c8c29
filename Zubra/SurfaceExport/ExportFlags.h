#pragma once
// The export flags of the command line and the errors of the export mode. The flags are read
// from the raw arguments: a word such as "-exportUISurfaces" is one flag, never a cluster of
// one-letter options.

#include <QString>
#include <QStringList>
#include <optional>

namespace AppScreenshotExporter {

enum class ExportError { missingOutputPath, missingSurfacesDirectory, renderFailed, encodeFailed };

// The one-line message the program prints after "error: ".
QString description(ExportError error);

inline constexpr char surfacesFlag[] = "-exportUISurfaces";
inline constexpr char storageFailureSurfacesFlag[] = "-exportStorageFailureSurfaces";
inline constexpr char sampleScreenshotFlag[] = "-exportSampleScreenshot";

// What one kind of flag asked for: nothing, a path, or the error of a flag in last place.
struct RequestedPath
{
    std::optional<QString> path; // absolute, with "." and ".." resolved
    std::optional<ExportError> error;

    friend bool operator==(const RequestedPath&, const RequestedPath&) = default;
};

// The argument after the first "-exportUISurfaces" or "-exportStorageFailureSurfaces" (the
// program's own path is the first argument and is looked at like any other).
RequestedPath requestedSurfacesDirectory(const QStringList& arguments);
// The argument after the first "-exportSampleScreenshot".
RequestedPath requestedOutputURL(const QStringList& arguments);

// Any export flag at all: the program then starts no shell.
bool isExportRun(const QStringList& arguments);

// The process arguments as given, before any application object exists.
QStringList rawArguments(int argc, const char* const* argv);

} // namespace AppScreenshotExporter
