#pragma once
// The one library store of the running application: selections, groups, prompt drafts, the
// active draft, the "Collect into Prompt" switch and the state of the library file. Every change
// goes through one of its operations, is announced by the property's change signal (after the
// change) and is saved in the background: one write 0.4 s after the last change, on the store's
// own serial queue, from a snapshot taken at the change. Besides the per-property signals, row
// signals say which records changed, in the manner of a list model's notifications, so that views
// keep their current item and scroll position. Every operation runs on the store's thread only.

#include "Platform/DispatchQueue.h"
#include "Platform/FileSystem.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"
#include "ZubraCore/Library/StoreAggregation.h"
#include "ZubraCore/Library/StoreIndex.h"
#include "ZubraCore/Library/StorePersistenceStatus.h"
#include "ZubraCore/Library/StoreSnapshot.h"
#include "ZubraCore/Support/AppSettings.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <functional>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class StorePersistence;
struct PersistenceError;

class Store : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString storeURL; // the library file; its backup lies beside it
        QSettings* defaults = nullptr; // none: the application's settings; must outlive the store
        std::shared_ptr<FileSystem> fileSystem; // none: the disk
        std::shared_ptr<DispatchClock> saveClock; // none: the system clock
        std::function<QDateTime()> now; // none: the current time in UTC
    };

    static constexpr std::chrono::milliseconds saveDelay {400};
    static inline const QString& collectIntoActiveDraftKey = AppSettings::collectIntoActiveDraftKey;

    // Loads the library synchronously (recovery included) and repairs the active draft; saves nothing.
    explicit Store(const QString& storeURL, QSettings* defaults = nullptr, QObject* parent = nullptr);
    explicit Store(Options options, QObject* parent = nullptr);
    // Cancels a pending save and waits for a running one. The records and their index are freed
    // on a thread of their own: freeing a large library record by record would hold up closing.
    ~Store() override;

    // $XDG_DATA_HOME/Tessellon/Tessellon.json; creates the folder (a failure is ignored).
    static QString defaultStoreURL();
    // Beside the library: its name without extension, plus ".backup.json".
    static QString backupURL(const QString& storeURL);

    // Published state.
    const QList<Selection>& selections() const { return m_selections; } // newest first
    const QList<SelectionGroup>& groups() const { return m_groups; } // creation order
    const QList<ContextDraft>& drafts() const { return m_drafts; } // creation order
    std::optional<QUuid> activeDraftID() const { return m_activeDraftID; }
    bool collectIntoActiveDraft() const { return m_collectIntoActiveDraft; }
    // Written to the user defaults on every assignment, whatever the library's state.
    void setCollectIntoActiveDraft(bool collect);
    StorePersistenceStatus persistenceStatus() const { return m_persistenceStatus; }

    // False while the library file is unreadable or of a version this program does not read.
    bool canModifyLibrary() const { return storageAllowsWrites(); }
    // Before a change that must not be lost (a capture): whether it can be saved. Takes the
    // library's write lock when it is free; when another session holds it, the library turns
    // read-only here (openElsewhere) now rather than at the next save.
    bool claimLibraryForWriting();
    bool recoveredDuringLaunch() const { return m_recoveredDuringLaunch; }
    const QString& storeURL() const { return m_storeURL; }
    QSettings& defaults() const { return *m_defaults; }
    // The queue that writes the library; for tests and tools that must wait for a write.
    DispatchQueue& saveQueue() const { return *m_saveQueue; }

    // Writes the current library now and returns when the write is done; a pending save is
    // cancelled. Writes nothing when both files already hold the current library (no change
    // since the last successful write, or since a load that found both files current). Must
    // not be called on the save queue.
    void saveNow();
    // The last resort of a process that must end now, safe from any thread (the store's may be
    // blocked) and beside a write under way: the newest change not yet in the library file (on
    // the store's thread the current library, elsewhere the pending or running save's snapshot)
    // is written on a thread of its own, both files replaced before anything is synced, and no
    // save replaces them afterwards. True when the library file holds the change by the deadline;
    // the sync gets what is left of it. One end per store.
    bool saveForEnd(std::chrono::steady_clock::time_point deadline);

    // Selections.
    void add(const Selection& selection);
    void deleteSelection(const QUuid& id);
    // Costs O(k log n + n) for k ids, once, whatever k.
    void deleteSelections(const QSet<QUuid>& ids);
    QList<Selection> addImportedTextChunks(const QStringList& chunks, const QString& appName);
    std::optional<Selection> findByID(const QUuid& id) const;

    // Groups.
    std::optional<SelectionGroup> addGroup(const QString& name, const QString& colorHex);
    std::optional<SelectionGroup> createGroup(
        const QString& name, const QString& colorHex, const QSet<QUuid>& containing);
    void addToGroup(const QUuid& groupID, const QSet<QUuid>& selectionIDs);
    void removeFromGroups(const QSet<QUuid>& groupIDs, const QSet<QUuid>& selectionIDs);
    void deleteGroup(const QUuid& groupID);
    void renameGroup(const QUuid& groupID, const QString& name);
    std::optional<SelectionGroup> findGroup(const QUuid& groupID) const;
    QList<Selection> selectionsIn(const QUuid& groupID) const;

    // Sources.
    QList<SourceAggregate> sourceAggregates() const;
    // The selection ids of one source, in library order.
    QList<QUuid> selectionIDsFrom(const QString& sourceKey) const;
    QList<SourceIdentity> sourceIdentities() const;
    qsizetype count(const SourceIdentity& source) const;

    // Prompt drafts.
    std::optional<ContextDraft> activeDraft() const;
    std::optional<ContextDraft> findDraft(const QUuid& id) const;
    std::optional<ContextDraft> newDraft(const std::optional<QString>& name = std::nullopt);
    ContextDraft ensureActiveDraft();
    void updateDraft(const ContextDraft& draft);
    void activateDraft(const QUuid& id);
    void deleteDraft(const QUuid& id);
    // Adds entries in library order, then ids missing from the library in ascending text order.
    int addSelectionsToActiveDraft(const QSet<QUuid>& selectionIDs);
    bool addSelectionToActiveDraft(const QUuid& selectionID);

    // Sorted orders, search text, keys and counts over the selections, kept current by the
    // operations above; what the item models stand on.
    const StoreIndex& index() const { return m_index; }

signals:
    // Per published property, after the change.
    void selectionsChanged();
    void groupsChanged();
    void draftsChanged();
    void activeDraftIDChanged();
    void collectIntoActiveDraftChanged();
    void persistenceStatusChanged();

    // Row-level changes, after the change and before the property's signal.
    // New selections and their positions in selections(), ascending.
    void selectionsInserted(const QList<QUuid>& ids, const QList<qsizetype>& positions);
    void selectionsRemoved(const QList<QUuid>& ids);
    // Fields changed in place (group membership); order and ids unchanged.
    void selectionsEdited(const QList<QUuid>& ids);
    void groupsInserted(const QList<QUuid>& ids);
    void groupsRemoved(const QList<QUuid>& ids);
    void groupRenamed(const QUuid& id);
    void draftInserted(const QUuid& id);
    void draftRemoved(const QUuid& id);
    // Any field of the draft, its entries included.
    void draftChanged(const QUuid& id);

private:
    bool storageAllowsWrites() const;
    // Debug builds stop when an operation runs off the store's thread.
    void assertOwnThread() const;
    // Called when a change is certain, before it is made: drops the pending save and the
    // snapshot it holds, so the change does not copy arrays that only that snapshot shares.
    void beginChange();
    void scheduleSave();
    StoreSnapshot snapshot() const;
    // Writes the snapshot of the given change generation and records which files now hold it.
    void persist(const StoreSnapshot& snapshot, quint64 generation);
    // Records which files hold a generation after a write of it.
    void recordWrite(const std::optional<PersistenceError>& error, quint64 generation);
    // On the save queue: persists unless both files hold that generation already.
    void persistUnlessWritten(const StoreSnapshot& snapshot, quint64 generation);
    void clearTransientPersistenceStatus();
    void setPersistenceStatus(StorePersistenceStatus status);
    void setActiveDraftID(const std::optional<QUuid>& id);
    void repairActiveDraft();
    QDateTime now() const { return m_now(); }
    ContextDraft makeDraft(const QString& name) const;
    QUuid freshSelectionID() const;

    qsizetype positionOf(const QUuid& id) const;
    void insertSelection(const Selection& selection);
    void editSelection(qsizetype position, const std::function<void(Selection&)>& edit);

    QList<Selection> m_selections;
    QList<SelectionGroup> m_groups;
    QList<ContextDraft> m_drafts;
    std::optional<QUuid> m_activeDraftID;
    bool m_collectIntoActiveDraft = false;
    StorePersistenceStatus m_persistenceStatus;
    bool m_recoveredDuringLaunch = false;

    QString m_storeURL;
    std::unique_ptr<QSettings> m_ownedDefaults;
    QSettings* m_defaults = nullptr;
    std::function<QDateTime()> m_now;
    std::unique_ptr<StorePersistence> m_persistence;
    std::unique_ptr<DispatchQueue> m_saveQueue;
    std::shared_ptr<DispatchWorkItem> m_pendingSave;
    // Counts the changes (main thread). The generation each file is known to hold is read and
    // written only on the save queue (and in the constructor, before the queue runs anything);
    // notOnDisk when the file holds something else or its state is unknown.
    static constexpr quint64 notOnDisk = ~quint64(0);
    quint64 m_changeGeneration = 0;
    // Guards the generations on disk and m_unsaved: an end reads them from its own thread.
    mutable std::mutex m_saveStateMutex;
    quint64 m_primaryGeneration = notOnDisk;
    quint64 m_backupGeneration = notOnDisk;
    // The newest snapshot handed to the save queue, until the library file holds it.
    struct Unsaved
    {
        std::shared_ptr<const StoreSnapshot> snapshot;
        quint64 generation = 0;
    };
    Unsaved m_unsaved;
    struct EndProgress;
    std::shared_ptr<EndProgress> m_endProgress;
    std::thread m_endWriter;

    // Held apart so that the destructor can hand it to the thread that frees it.
    std::unique_ptr<StoreIndex> m_ownedIndex = std::make_unique<StoreIndex>();
    StoreIndex& m_index = *m_ownedIndex;
};
