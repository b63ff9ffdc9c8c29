#include "ZubraCore/Library/Store.h"

#include "Platform/DiskFileSystem.h"
#include "ZubraCore/Support/AppSettings.h"
#include "ZubraCore/Support/Logging.h"
#include "ZubraCore/Library/StoreLocations.h"
#include "ZubraCore/Library/StorePersistence.h"
#include "ZubraCore/Support/DiscardInBackground.h"

#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <system_error>


Store::Store(const QString& storeURL, QSettings* defaults, QObject* parent)
    : Store(Options {storeURL, defaults, nullptr, nullptr, nullptr}, parent)
{
}

Store::Store(Options options, QObject* parent)
    : QObject(parent)
    , m_now(options.now ? std::move(options.now) : [] { return QDateTime::currentDateTimeUtc(); })
    , m_saveQueue(std::make_unique<DispatchQueue>(u"com.tessellon.store.save"_qs, options.saveClock))
{
    m_storeURL = options.storeURL;
    std::shared_ptr<FileSystem> fileSystem
        = options.fileSystem ? std::move(options.fileSystem) : std::make_shared<DiskFileSystem>();
    m_persistence = std::make_unique<StorePersistence>(m_storeURL, backupURL(m_storeURL), std::move(fileSystem));
    StoreLoadResult loaded = m_persistence->load();

    if (options.defaults) {
        m_defaults = options.defaults;
    } else {
        m_ownedDefaults = AppSettings::openDefault();
        m_defaults = m_ownedDefaults.get();
    }
    m_recoveredDuringLaunch = loaded.status == StorePersistenceStatus::recoveredFromBackup;
    m_persistenceStatus = loaded.status;
    // What the files hold after the load. An older version, a file without drafts or a repaired
    // active draft differ from what a save would write: those are written at the next save.
    const bool fileIsCurrent = !loaded.snapshot
        || (loaded.snapshot->version == StoreSnapshot::currentVersion && loaded.snapshot->drafts.has_value());
    const std::optional<QUuid> loadedActiveDraftID = loaded.snapshot ? loaded.snapshot->activeDraftID : std::nullopt;
    if (loaded.snapshot) {
        m_selections = std::move(loaded.snapshot->selections);
        m_groups = std::move(loaded.snapshot->groups);
        m_drafts = loaded.snapshot->drafts.value_or(QList<ContextDraft>());
        m_activeDraftID = loaded.snapshot->activeDraftID;
    }
    m_collectIntoActiveDraft = AppSettings(*m_defaults).collectIntoActiveDraft();
    repairActiveDraft();
    if (fileIsCurrent && m_activeDraftID == loadedActiveDraftID) {
        // With no file at all, the empty library needs no file either.
        switch (loaded.status) {
        case StorePersistenceStatus::ready:
        case StorePersistenceStatus::recoveredFromBackup:
            m_primaryGeneration = m_changeGeneration;
            m_backupGeneration = m_changeGeneration;
            break;
        case StorePersistenceStatus::backupUnavailable:
            m_primaryGeneration = m_changeGeneration;
            break;
        default:
            break;
        }
    }
    m_index.assign(m_selections);
}

// How far an end's write has come.
struct Store::EndProgress
{
    std::mutex mutex;
    std::condition_variable changed;
    bool primaryInPlace = false;
    bool finished = false;
    std::optional<PersistenceError> error;

    void mark(bool EndProgress::*flag)
    {
        const std::lock_guard lock(mutex);
        this->*flag = true;
        changed.notify_all();
    }
    bool waitFor(bool EndProgress::*flag, std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(mutex);
        return changed.wait_until(lock, deadline, [&] { return this->*flag || finished; }) && this->*flag;
    }
};

Store::~Store()
{
    if (m_pendingSave)
        m_pendingSave->cancel();
    if (m_endWriter.joinable())
        m_endWriter.join();
    m_saveQueue.reset(); // waits for a write that has begun
    discardInBackground(std::make_pair(std::move(m_selections), std::move(m_ownedIndex)));
}

QString Store::defaultStoreURL()
{
    return StoreLocations::defaultStoreURL();
}

QString Store::backupURL(const QString& storeURL)
{
    return StoreLocations::backupURL(storeURL);
}

void Store::repairActiveDraft()
{
    if (m_activeDraftID && !findDraft(*m_activeDraftID))
        m_activeDraftID.reset();
    if (!m_activeDraftID && !m_drafts.isEmpty())
        m_activeDraftID = m_drafts.first().id;
}

void Store::assertOwnThread() const
{
    Q_ASSERT_X(QThread::currentThread() == thread(), "Store", "store operations run on the store's thread");
}

bool Store::storageAllowsWrites() const
{
    return m_persistenceStatus != StorePersistenceStatus::unreadablePrimary
        && m_persistenceStatus != StorePersistenceStatus::incompatibleVersion
        && m_persistenceStatus != StorePersistenceStatus::openElsewhere;
}

bool Store::claimLibraryForWriting()
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return false;
    if (m_persistence->claimForWriting())
        return true;
    setPersistenceStatus(StorePersistenceStatus::openElsewhere);
    return false;
}

void Store::setCollectIntoActiveDraft(bool collect)
{
    assertOwnThread();
    const bool changed = collect != m_collectIntoActiveDraft;
    m_collectIntoActiveDraft = collect;
    AppSettings(*m_defaults).setCollectIntoActiveDraft(collect);
    if (changed)
        emit collectIntoActiveDraftChanged();
}

void Store::setPersistenceStatus(StorePersistenceStatus status)
{
    if (status == m_persistenceStatus)
        return;
    m_persistenceStatus = status;
    emit persistenceStatusChanged();
}

void Store::setActiveDraftID(const std::optional<QUuid>& id)
{
    if (id == m_activeDraftID)
        return;
    m_activeDraftID = id;
    emit activeDraftIDChanged();
}

StoreSnapshot Store::snapshot() const
{
    return StoreSnapshot {StoreSnapshot::currentVersion, m_selections, m_groups, m_drafts, m_activeDraftID};
}

void Store::beginChange()
{
    ++m_changeGeneration;
    if (m_pendingSave)
        m_pendingSave->cancel();
    const std::lock_guard lock(m_saveStateMutex);
    m_unsaved = {};
}

void Store::scheduleSave()
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    if (m_pendingSave)
        m_pendingSave->cancel();
    const quint64 generation = ++m_changeGeneration;
    auto unsaved = std::make_shared<const StoreSnapshot>(snapshot());
    {
        const std::lock_guard lock(m_saveStateMutex);
        m_unsaved = {unsaved, generation};
    }
    // The store outlives every item on its queue (the destructor drains it), so `this` is safe.
    m_pendingSave = std::make_shared<DispatchWorkItem>(
        [this, generation, snapshot = std::move(unsaved)] { persist(*snapshot, generation); });
    m_saveQueue->asyncAfter(saveDelay, m_pendingSave);
}

void Store::saveNow()
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    if (m_pendingSave)
        m_pendingSave->cancel();
    const StoreSnapshot current = snapshot();
    const quint64 generation = m_changeGeneration;
    // After any write already running: a cancelled or failed save leaves a file behind the
    // current generation, and only then is there something to write.
    m_saveQueue->sync([this, &current, generation] { persistUnlessWritten(current, generation); });
}

void Store::persistUnlessWritten(const StoreSnapshot& snapshot, quint64 generation)
{
    {
        const std::lock_guard lock(m_saveStateMutex);
        if (m_primaryGeneration == generation && m_backupGeneration == generation)
            return;
    }
    persist(snapshot, generation);
}

bool Store::saveForEnd(std::chrono::steady_clock::time_point deadline)
{
    if (m_endProgress) // another end is writing
        return m_endProgress->waitFor(&EndProgress::primaryInPlace, deadline);
    std::shared_ptr<const StoreSnapshot> unsaved;
    quint64 generation = 0;
    if (QThread::currentThread() == thread()) {
        if (!storageAllowsWrites())
            return true;
        if (m_pendingSave)
            m_pendingSave->cancel();
        generation = m_changeGeneration;
        {
            const std::lock_guard lock(m_saveStateMutex);
            if (m_primaryGeneration == generation && m_backupGeneration == generation)
                return true;
        }
        unsaved = std::make_shared<const StoreSnapshot>(snapshot());
    } else {
        const std::lock_guard lock(m_saveStateMutex);
        unsaved = m_unsaved.snapshot;
        generation = m_unsaved.generation;
    }
    if (!unsaved)
        return true;

    // The write runs apart so that the wait for it stays bounded: a disk that takes seconds to
    // rename never holds up the end. It may outlive the wait; it uses nothing an ending process
    // destroys.
    const auto progress = m_endProgress = std::make_shared<EndProgress>();
    const auto write = [this, unsaved, generation, progress] {
        std::optional<PersistenceError> error = m_persistence->writeForEnd(
            *unsaved, [&progress] { progress->mark(&EndProgress::primaryInPlace); });
        recordWrite(error, generation);
        if (!error || error->kind == PersistenceError::backupWriteFailed)
            m_persistence->syncEnd();
        {
            const std::lock_guard lock(progress->mutex);
            progress->error = std::move(error);
        }
        progress->mark(&EndProgress::finished);
    };
    try {
        m_endWriter = std::thread(write);
    } catch (const std::system_error&) {
        write(); // no thread to be had
    }
    const bool saved = progress->waitFor(&EndProgress::primaryInPlace, deadline);
    // The sync gets the time left; the files hold the change whether it ends in time or not.
    if (saved)
        progress->waitFor(&EndProgress::finished, deadline);
    const std::lock_guard lock(progress->mutex);
    if (progress->finished && progress->error)
        logMP(u"Store save failed: "_qs + progress->error->description());
    return saved;
}

// On the save queue. Status changes go back to the main thread.
void Store::persist(const StoreSnapshot& snapshot, quint64 generation)
{
    // Until the write is over neither file is known to hold anything; a failed write leaves
    // something to write at the next save, whatever it changed.
    {
        const std::lock_guard lock(m_saveStateMutex);
        m_primaryGeneration = notOnDisk;
        m_backupGeneration = notOnDisk;
    }
    const std::optional<PersistenceError> error = m_persistence->write(snapshot);
    // The process is ending: its own write has the files, and nothing is reported any more.
    if (error && error->kind == PersistenceError::superseded)
        return;
    recordWrite(error, generation);
    if (error) {
        logMP(u"Store save failed: "_qs + error->description());
        const StorePersistenceStatus status = StorePersistence::failureStatus(*error);
        QMetaObject::invokeMethod(
            this, [this, status] { setPersistenceStatus(status); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { clearTransientPersistenceStatus(); }, Qt::QueuedConnection);
}

void Store::recordWrite(const std::optional<PersistenceError>& error, quint64 generation)
{
    const std::lock_guard lock(m_saveStateMutex);
    if (!error || error->kind == PersistenceError::backupWriteFailed) {
        m_primaryGeneration = generation;
        if (m_unsaved.generation == generation)
            m_unsaved = {};
    }
    if (!error)
        m_backupGeneration = generation;
}

void Store::clearTransientPersistenceStatus()
{
    if (m_persistenceStatus == StorePersistenceStatus::backupUnavailable
        || m_persistenceStatus == StorePersistenceStatus::saveFailed)
        setPersistenceStatus(
            m_recoveredDuringLaunch ? StorePersistenceStatus::recoveredFromBackup : StorePersistenceStatus::ready);
}
