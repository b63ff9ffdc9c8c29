#pragma once
// A store over a temporary library whose saves wait for a manual clock, with the settings in a
// temporary INI file, and a recording system log: what the shell tests stand on.

#include "support/LibraryFixtures.h"
#include "support/ManualClock.h"
#include "support/RecordingSystemLog.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Support/Logging.h"

#include <QSettings>
#include <QTemporaryDir>
#include <memory>

class ShellFixture
{
public:
    enum class Library { empty, unreadable, incompatible };

    explicit ShellFixture(Library library = Library::empty)
        : settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat)
    {
        Loggers::setSystemLog(&log);
        if (library == Library::unreadable) {
            LibraryFixtures::writeFile(libraryPath(), "{");
            LibraryFixtures::writeFile(dir.filePath(QStringLiteral("Library.backup.json")), "{");
        } else if (library == Library::incompatible) {
            LibraryFixtures::writeFile(libraryPath(), R"({"version":3,"selections":[],"groups":[]})");
        }
        store = std::make_unique<Store>(Store::Options {libraryPath(), &settings, {}, saveClock, {}});
    }
    ~ShellFixture()
    {
        store.reset();
        Loggers::setSystemLog(nullptr);
    }

    QString libraryPath() const { return dir.filePath(QStringLiteral("Library.json")); }
    // The lines logged through logMP so far.
    QStringList appLines() const { return log.messages(QStringLiteral("app")); }

    QTemporaryDir dir;
    QSettings settings;
    RecordingSystemLog log;
    std::shared_ptr<ManualClock> saveClock = std::make_shared<ManualClock>();
    std::unique_ptr<Store> store;
};
