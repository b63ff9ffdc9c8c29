// Writes the benchmarks' generated library (primary and backup) for the whole-application
// measurement, or with --research the library of short captures from many sources.
// Usage: tessellon_write_library [--research] SELECTIONS LIBRARY_PATH

#include "bench/support/LibraryGenerator.h"

#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool research = arguments.removeAll(u"--research"_qs) > 0;
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: %s [--research] SELECTIONS LIBRARY_PATH\n", argv[0]);
        return 2;
    }
    const int selections = arguments[0].toInt();
    const QString primary = arguments[1];
    QDir().mkpath(QFileInfo(primary).absolutePath());
    StorePersistence persistence(primary, StoreLocations::backupURL(primary));
    if (const std::optional<PersistenceError> error = persistence.write(
            research ? LibraryGenerator::research(selections) : LibraryGenerator::generate(selections))) {
        std::fprintf(stderr, "%s\n", qPrintable(error->description()));
        return 1;
    }
    return 0;
}
