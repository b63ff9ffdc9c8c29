#pragma once
// A store over a temporary library for the library window's widget tests: saves never run
// (their clock stands still), the library on disk can be written first to get any status.

#include "support/LibraryFixtures.h"
#include "support/ManualClock.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"

#include <QSettings>
#include <QTemporaryDir>
#include <memory>

class WindowStoreHarness
{
public:
    WindowStoreHarness()
        : defaults(dir.filePath(u"defaults.ini"_qs), QSettings::IniFormat)
    {
    }

    QString path() const { return dir.filePath(u"Library.json"_qs); }

    Store& open()
    {
        store.reset();
        Store::Options options;
        options.storeURL = path();
        options.defaults = &defaults;
        options.saveClock = clock;
        store = std::make_unique<Store>(std::move(options));
        return *store;
    }

    // A library file that is not a library document, without a backup.
    Store& openUnreadable()
    {
        LibraryFixtures::writeFile(path(), "not a library");
        return open();
    }

    static Selection selection(const QString& text, const QString& appName = u"Notes"_qs,
        const std::optional<QString>& url = std::nullopt, const std::optional<QString>& filePath = std::nullopt,
        int minute = 0)
    {
        return Selection::make(QUuid::createUuid(), text, std::nullopt, appName, std::nullopt, url, std::nullopt,
            filePath, {}, LibraryFixtures::time(minute));
    }

    QTemporaryDir dir;
    QSettings defaults;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<Store> store;
};
