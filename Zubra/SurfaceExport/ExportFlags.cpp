#include "Zubra/SurfaceExport/ExportFlags.h"

#include <QDir>

namespace AppScreenshotExporter {

namespace {

// Cleans an absolute path; a ".." above the root stays at the root, as the system resolves it
// (QDir::cleanPath keeps "/../a" as it is).
QString cleanAbsolutePath(const QString& path)
{
    QString clean = QDir::cleanPath(path);
    while (clean.startsWith(QLatin1String("/../")))
        clean.remove(0, 3);
    if (clean == QLatin1String("/.."))
        clean = QStringLiteral("/");
    return clean;
}

// The value after the first of the flags, made absolute against the current folder and cleaned
// ("." and ".." removed) without touching the file system.
RequestedPath valueAfter(const QStringList& arguments, std::initializer_list<const char*> flags, ExportError missing)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const bool isFlag = std::any_of(
            flags.begin(), flags.end(), [&](const char* flag) { return arguments[i] == QLatin1String(flag); });
        if (!isFlag)
            continue;
        if (i + 1 == arguments.size())
            return {std::nullopt, missing};
        return {cleanAbsolutePath(QDir::current().absoluteFilePath(arguments[i + 1])), std::nullopt};
    }
    return {};
}

} // namespace

QString description(ExportError error)
{
    switch (error) {
    case ExportError::missingOutputPath:
        return QStringLiteral("Provide an output path after -exportSampleScreenshot.");
    case ExportError::missingSurfacesDirectory:
        return QStringLiteral("Provide an output directory after -exportUISurfaces.");
    case ExportError::renderFailed:
        return QStringLiteral("SwiftUI did not render the temporary Tessellon sample view.");
    case ExportError::encodeFailed:
        return QStringLiteral("The rendered bitmap could not be encoded as PNG.");
    }
    Q_UNREACHABLE();
}

RequestedPath requestedSurfacesDirectory(const QStringList& arguments)
{
    return valueAfter(arguments, {surfacesFlag, storageFailureSurfacesFlag}, ExportError::missingSurfacesDirectory);
}

RequestedPath requestedOutputURL(const QStringList& arguments)
{
    return valueAfter(arguments, {sampleScreenshotFlag}, ExportError::missingOutputPath);
}

bool isExportRun(const QStringList& arguments)
{
    return arguments.contains(QLatin1String(surfacesFlag)) || arguments.contains(QLatin1String(storageFailureSurfacesFlag))
        || arguments.contains(QLatin1String(sampleScreenshotFlag));
}

QStringList rawArguments(int argc, const char* const* argv)
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

} // namespace AppScreenshotExporter
