#pragma once
// A store over a temporary library with a manual save clock, a recording file system and a fixed
// wall clock, for the store tests and the widget tests.

#include "support/FailingFileSystem.h"
#include "support/ManualClock.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "ZubraCore/Library/Store.h"
#include "support/LibraryFixtures.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

class StoreHarness
{
public:
    StoreHarness()
        : defaults(dir.filePath(u"defaults.ini"_qs), QSettings::IniFormat)
    {
    }

    QString path() const { return dir.filePath(u"Library.json"_qs); }
    QString backupPath() const { return dir.filePath(u"Library.backup.json"_qs); }

    Store& open()
    {
        store.reset();
        store = std::make_unique<Store>(Store::Options {path(), &defaults, files, clock, [this] { return wallClock; }});
        files->clearCalls();
        return *store;
    }

    void writeLibrary(const StoreSnapshot& snapshot, bool withBackup = true)
    {
        const QByteArray bytes = LibraryDocument::encode(snapshot).bytes;
        QVERIFY(LibraryFixtures::writeFile(path(), bytes));
        if (withBackup)
            QVERIFY(LibraryFixtures::writeFile(backupPath(), bytes));
    }

    // Lets the save clock run and delivers the status changes that writes send back.
    void elapse(std::chrono::milliseconds step)
    {
        clock->advance(step);
        settle();
    }
    void settle()
    {
        store->saveQueue().sync([] {});
        QCoreApplication::processEvents();
    }

    // Writes of the primary since the store was opened.
    int writes() const
    {
        store->saveQueue().sync([] {});
        int count = 0;
        for (const FailingFileSystem::Call& call : files->calls()) {
            if (call.operation == FailingFileSystem::Operation::writeAtomically && call.path == path())
                ++count;
        }
        return count;
    }

    StoreSnapshot onDisk() const
    {
        const DocumentDecoding decoded = LibraryDocument::decode(LibraryFixtures::readFile(path()));
        return decoded.snapshot.value_or(StoreSnapshot {});
    }

    QTemporaryDir dir;
    QSettings defaults;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<FailingFileSystem> files = std::make_shared<FailingFileSystem>();
    QDateTime wallClock = QDateTime(QDate(2025, 3, 14), QTime(12, 0), Qt::UTC);
    std::unique_ptr<Store> store;
};

inline Selection capture(const QString& text, const QString& appName = u"Notes"_qs)
{
    return Selection::make(QUuid::createUuid(), text, std::nullopt, appName, std::nullopt, std::nullopt, std::nullopt,
        std::nullopt, {}, QDateTime(QDate(2025, 3, 14), QTime(10, 0), Qt::UTC));
}
