// Writes the benchmarks' generated library (primary and backup) for the whole-application
// measurement. Usage: tessellon_write_library SELECTIONS LIBRARY_PATH

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
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SELECTIONS LIBRARY_PATH\n", argv[0]);
        return 2;
    }
    const int selections = QString::fromLocal8Bit(argv[1]).toInt();
    const QString primary = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(QFileInfo(primary).absolutePath());
    StorePersistence persistence(primary, StoreLocations::backupURL(primary));
    if (const std::optional<PersistenceError> error = persistence.write(LibraryGenerator::generate(selections))) {
        std::fprintf(stderr, "%s\n", qPrintable(error->description()));
        return 1;
    }
    return 0;
}
