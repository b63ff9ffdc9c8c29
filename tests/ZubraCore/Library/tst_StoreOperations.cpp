#include "LibraryTestData.h"
#include "ZubraCore/Text/Uuids.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include <QRandomGenerator>
#include <QSignalSpy>

using namespace std::chrono_literals;

namespace {

// A library of three selections (newest first: c, b, a), one group and two drafts, the first active.
struct Seeded
{
    Selection a = capture("a", "Safari");
    Selection b = capture("b", "Notes");
    Selection c = capture("c", "Mail");
    SelectionGroup group {LibraryFixtures::id(2, 1), "Reading", "#4F8EF7", LibraryFixtures::time(0)};
    ContextDraft first;
    ContextDraft second;

    void install(StoreHarness& h)
    {
        a.groupIDs = {group.id};
        first = ContextDraft {LibraryFixtures::id(3, 1), "First", "", "Sections", "gpt-4o", LibraryFixtures::time(1),
            LibraryFixtures::time(1), {}};
        first.entries.append(ContextDraftEntry {LibraryFixtures::id(4, 1), a.id, true, false, false, {}, {}});
        second = first;
        second.id = LibraryFixtures::id(3, 2);
        second.name = "Second";
        second.entries[0].id = LibraryFixtures::id(4, 2);
        StoreSnapshot snapshot;
        snapshot.selections = {c, b, a};
        snapshot.groups = {group};
        snapshot.drafts = QList<ContextDraft> {first, second};
        snapshot.activeDraftID = first.id;
        h.writeLibrary(snapshot);
    }
};

} // namespace

class TestStoreOperations : public QObject
{
    Q_OBJECT

private slots:
    void saveRules_data();
    void saveRules();
    void importedChunks();
    void importedChunksTakeTheirPlaceInEveryOrder_data();
    void importedChunksTakeTheirPlaceInEveryOrder();
    void deletingSelectionsCleansDrafts();
    void idIndexFollowsInsertionsAndDeletions();
    void groupOperations();
    void sourceQueries();
    void addToActiveDraftCreatesPromptOne();
    void addToActiveDraftOrderIsDeterministic();
    void draftNamesAndDeletion();
    void updateDraftAppendsUnknownAndActivates();
    void rowSignalsNameTheChangedRecords();
};

void TestStoreOperations::saveRules_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("writes");
    const QList<std::pair<const char*, int>> rows {{"add new", 1}, {"add existing id", 0}, {"delete one", 1},
        {"delete unknown ids", 1}, {"import blank chunks", 0}, {"import one chunk", 1}, {"add group", 1},
        {"create group, empty set", 1}, {"add to group, unknown ids", 1}, {"remove from groups, nothing held", 1},
        {"delete unknown group", 1}, {"rename to spaces", 0}, {"rename unknown group", 0}, {"rename to same name", 1},
        {"new draft", 1}, {"update draft", 1}, {"delete unknown draft", 1}, {"activate unknown draft", 0},
        {"activate active draft", 1}, {"ensure with an active draft", 0}, {"add empty set to draft", 0},
        {"add held selection to draft", 0}, {"add new selection to draft", 1}, {"collect switch", 0}};
    for (const auto& [name, writes] : rows)
        QTest::newRow(name) << QString(name) << writes;
}

void TestStoreOperations::saveRules()
{
    QFETCH(QString, operation);
    QFETCH(int, writes);
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open();
    const QUuid unknown = LibraryFixtures::id(9, 9);
    const StoreSnapshot before {2, s.selections(), s.groups(), s.drafts(), s.activeDraftID()};

    if (operation == "add new")
        s.add(capture("new"));
    else if (operation == "add existing id") {
        Selection changed = seed.b; // a repeated id is dropped, not taken as an update
        changed.text = "different text";
        s.add(changed);
    } else if (operation == "delete one")
        s.deleteSelection(seed.b.id);
    else if (operation == "delete unknown ids")
        s.deleteSelections({unknown});
    else if (operation == "import blank chunks")
        s.addImportedTextChunks({" ", "\n\t", ""}, "Pasted text");
    else if (operation == "import one chunk")
        s.addImportedTextChunks({" ", "x"}, "Pasted text");
    else if (operation == "add group")
        s.addGroup("g", "#4F8EF7");
    else if (operation == "create group, empty set")
        s.createGroup("g", "#4F8EF7", {});
    else if (operation == "add to group, unknown ids")
        s.addToGroup(seed.group.id, {unknown});
    else if (operation == "remove from groups, nothing held")
        s.removeFromGroups({unknown}, {seed.b.id});
    else if (operation == "delete unknown group")
        s.deleteGroup(unknown);
    else if (operation == "rename to spaces")
        s.renameGroup(seed.group.id, " \n ");
    else if (operation == "rename unknown group")
        s.renameGroup(unknown, "Name");
    else if (operation == "rename to same name")
        s.renameGroup(seed.group.id, "Reading");
    else if (operation == "new draft")
        s.newDraft(std::nullopt);
    else if (operation == "update draft")
        s.updateDraft(seed.second);
    else if (operation == "delete unknown draft")
        s.deleteDraft(unknown);
    else if (operation == "activate unknown draft")
        s.activateDraft(unknown);
    else if (operation == "activate active draft")
        s.activateDraft(seed.first.id);
    else if (operation == "ensure with an active draft")
        QCOMPARE(s.ensureActiveDraft(), seed.first);
    else if (operation == "add empty set to draft")
        QCOMPARE(s.addSelectionsToActiveDraft({}), 0);
    else if (operation == "add held selection to draft")
        QVERIFY(!s.addSelectionToActiveDraft(seed.a.id));
    else if (operation == "add new selection to draft")
        QVERIFY(s.addSelectionToActiveDraft(seed.b.id));
    else if (operation == "collect switch")
        s.setCollectIntoActiveDraft(true);
    else
        QFAIL("unknown operation");

    h.elapse(400ms);
    QCOMPARE(h.writes(), writes);
    if (writes == 0) {
        const StoreSnapshot after {2, s.selections(), s.groups(), s.drafts(), s.activeDraftID()};
        QCOMPARE(after, before);
    } else {
        const StoreSnapshot disk = h.onDisk();
        QCOMPARE(disk.selections.size(), s.selections().size());
        QCOMPARE(disk.groups, s.groups());
        QCOMPARE(disk.activeDraftID, s.activeDraftID());
    }
}

void TestStoreOperations::importedChunksTakeTheirPlaceInEveryOrder_data()
{
    QTest::addColumn<int>("chunks");
    QTest::addColumn<bool>("samePasteBefore"); // earlier pasted text at the same time: ties
    QTest::newRow("one chunk") << 1 << false;
    QTest::newRow("a few chunks") << 7 << false;
    QTest::newRow("many chunks beside an earlier paste") << 300 << true;
}

// An import's chunks are ordered in one merge: every order of the library is as an index built
// anew from the library would have it.
void TestStoreOperations::importedChunksTakeTheirPlaceInEveryOrder()
{
    QFETCH(int, chunks);
    QFETCH(bool, samePasteBefore);
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open();
    if (samePasteBefore)
        s.addImportedTextChunks({"earlier one", "earlier two"}, "Pasted text");
    QStringList texts;
    for (int i = 0; i < chunks; ++i)
        texts.append("chunk " + QString::number(i));
    s.addImportedTextChunks(texts, "Pasted text");
    QCOMPARE(s.selections().size(), 3 + chunks + (samePasteBefore ? 2 : 0));
    QCOMPARE(s.selections().first().text, texts.last());
    StoreIndex fresh;
    fresh.assign(s.selections());
    const auto ids = [](const StoreIndex& index, SortMode mode) {
        QList<QUuid> list;
        for (StoreIndex::Key key : index.order(mode))
            list.append(index.record(key).id);
        return list;
    };
    for (SortMode mode : SortModes::allCases())
        QCOMPARE(ids(s.index(), mode), ids(fresh, mode));
    for (qsizetype i = 0; i < s.selections().size(); ++i)
        QCOMPARE(s.index().position(s.index().keyOf(s.selections()[i].id)), i);
}

void TestStoreOperations::importedChunks()
{
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open();
    const QList<Selection> made = s.addImportedTextChunks({"   ", "A", "\n", "B "}, "Pasted text");
    QCOMPARE(LibraryTestData::labels(made), (QStringList {"A", "B "}));
    QCOMPARE(LibraryTestData::labels(s.selections()), (QStringList {"B ", "A", "c", "b", "a"}));
    for (const Selection& m : made) {
        QCOMPARE(m.markdown(), m.text);
        QCOMPARE(m.appName, QString("Pasted text"));
        QVERIFY(!m.bundleID && !m.sourceURL && !m.sourceTitle && !m.filePath && m.groupIDs.isEmpty());
        QCOMPARE(m.createdAt, h.wallClock);
        QCOMPARE(s.findByID(m.id), m);
    }
    QVERIFY(made[0].id != made[1].id);
    h.elapse(400ms);
    QCOMPARE(h.writes(), 1);
}

void TestStoreOperations::deletingSelectionsCleansDrafts()
{
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open();
    s.addSelectionToActiveDraft(seed.c.id); // first: entries a, c; second: entry a
    const QDateTime firstUpdated = s.findDraft(seed.first.id)->updatedAt;
    h.wallClock = h.wallClock.addSecs(60);
    s.deleteSelections({seed.a.id, LibraryFixtures::id(9, 9)});
    QCOMPARE(LibraryTestData::labels(s.selections()), (QStringList {"c", "b"}));
    const ContextDraft first = *s.findDraft(seed.first.id);
    const ContextDraft second = *s.findDraft(seed.second.id);
    QCOMPARE(first.entries.size(), 1);
    QCOMPARE(first.entries[0].selectionID, seed.c.id);
    QVERIFY(second.entries.isEmpty());
    QCOMPARE(first.updatedAt, firstUpdated);
    QCOMPARE(second.updatedAt, seed.second.updatedAt);
    h.elapse(400ms);
    QCOMPARE(h.writes(), 1);
}

// Deletes one by one and in sets, at every position of a large library, between captures and
// re-added selections: the library, lookups by id, group members and source counts stay those of
// a plain list. Records move as bytes (relocatable), so a delete does not run a move per record.
void TestStoreOperations::idIndexFollowsInsertionsAndDeletions()
{
    QVERIFY(QTypeInfo<Selection>::isRelocatable);
    StoreHarness h;
    StoreSnapshot start;
    for (int i = 0; i < 20'000; ++i)
        start.selections.append(LibraryFixtures::selection(i, 8));
    h.writeLibrary(start, false);
    Store& s = h.open();
    QList<Selection> reference = start.selections;
    QRandomGenerator random(7);
    QList<Selection> deleted;
    for (int step = 0; step < 400; ++step) {
        const int op = random.bounded(10);
        if (op < 6 && !reference.isEmpty()) {
            const qsizetype at = random.bounded(int(reference.size()));
            deleted.append(reference.takeAt(at));
            s.deleteSelection(deleted.last().id);
        } else if (op < 7) {
            QSet<QUuid> ids {LibraryFixtures::id(9, step)}; // one unknown id
            for (int k = 0; k < 80 && !reference.isEmpty(); ++k) {
                const Selection gone = reference.takeAt(random.bounded(int(reference.size())));
                ids.insert(gone.id);
                deleted.append(gone);
            }
            s.deleteSelections(ids);
        } else if (op < 9 || deleted.isEmpty()) {
            const Selection c = capture("step " + QString::number(step), step % 2 ? "Notes" : "Mail");
            reference.prepend(c);
            s.add(c);
        } else {
            const Selection back = deleted.takeAt(random.bounded(int(deleted.size())));
            reference.prepend(back);
            s.add(back);
            s.add(reference[1]); // present: refused
        }
        QCOMPARE(s.selections().size(), reference.size());
        for (int probe = 0; probe < 20 && !reference.isEmpty(); ++probe) {
            const qsizetype at = random.bounded(int(reference.size()));
            QCOMPARE(s.selections()[at].id, reference[at].id);
            QCOMPARE(s.findByID(reference[at].id)->id, reference[at].id);
        }
        if (!deleted.isEmpty())
            QVERIFY(!s.findByID(deleted.last().id));
    }
    QCOMPARE(s.selections(), reference);
    QHash<QString, qsizetype> sources;
    for (const Selection& selection : std::as_const(reference))
        ++sources[SourceIdentity::keyOf(selection)];
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        QCOMPARE(s.count(SourceIdentity {it.key(), {}, {}, {}, {}}), it.value());
    QList<QUuid> members;
    for (const Selection& selection : std::as_const(reference)) {
        if (selection.groupIDs.contains(LibraryFixtures::id(2, 0)))
            members.append(selection.id);
    }
    QList<QUuid> found;
    for (const Selection& selection : s.selectionsIn(LibraryFixtures::id(2, 0)))
        found.append(selection.id);
    QCOMPARE(found, members);
}

void TestStoreOperations::groupOperations()
{
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open();
    s.addToGroup(seed.group.id, {seed.a.id, seed.c.id});
    s.addToGroup(seed.group.id, {seed.a.id, seed.c.id});
    QCOMPARE(s.findByID(seed.a.id)->groupIDs, QList<QUuid> {seed.group.id});
    QCOMPARE(LibraryTestData::labels(s.selectionsIn(seed.group.id)), (QStringList {"c", "a"}));

    const auto empty = s.createGroup("Empty", "#123456", {});
    QVERIFY(empty);
    QVERIFY(s.selectionsIn(empty->id).isEmpty());
    const auto filled = s.createGroup(" Raw name ", "not a colour", {seed.b.id});
    QCOMPARE(filled->name, QString(" Raw name "));
    QCOMPARE(filled->colorHex, QString("not a colour"));
    QCOMPARE(filled->createdAt, h.wallClock);
    QCOMPARE(LibraryTestData::labels(s.selectionsIn(filled->id)), QStringList {"b"});
    QCOMPARE(s.groups().size(), 3);

    s.renameGroup(filled->id, " \n ");
    QCOMPARE(s.findGroup(filled->id)->name, QString(" Raw name "));
    s.renameGroup(filled->id, "\n  Tidy  \t");
    QCOMPARE(s.findGroup(filled->id)->name, QString("Tidy"));

    s.addToGroup(filled->id, {seed.a.id});
    s.removeFromGroups({seed.group.id, LibraryFixtures::id(9, 9)}, {seed.a.id, seed.b.id});
    QCOMPARE(s.findByID(seed.a.id)->groupIDs, QList<QUuid> {filled->id});
    QCOMPARE(LibraryTestData::labels(s.selectionsIn(seed.group.id)), QStringList {"c"});

    const QList<ContextDraft> drafts = s.drafts();
    s.deleteGroup(filled->id);
    QVERIFY(!s.findGroup(filled->id));
    QCOMPARE(s.selections().size(), 3);
    QVERIFY(s.findByID(seed.a.id)->groupIDs.isEmpty());
    QVERIFY(s.selectionsIn(filled->id).isEmpty());
    QCOMPARE(s.drafts(), drafts);
}

void TestStoreOperations::sourceQueries()
{
    StoreHarness h;
    Store& s = h.open();
    Selection web1 = capture("w1", "Safari");
    web1.sourceURL = "https://a.example/";
    Selection web2 = capture("w2", "Firefox");
    web2.sourceURL = "https://a.example/";
    Selection note = capture("n", "Notes");
    Selection doc = capture("d", "Writer");
    doc.filePath = "/docs/plan.txt";
    for (const Selection& x : {web1, web2, note, doc})
        s.add(x);
    // Newest first: doc, note, web2, web1.
    const QList<SourceAggregate> rows = s.sourceAggregates();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].id(), QString("/docs/plan.txt"));
    QCOMPARE(rows[1].id(), QString("https://a.example/"));
    QCOMPARE(rows[1].identity.appName, QString("Firefox")); // the newest capture's
    QCOMPARE(rows[1].selectionIDs, (QList<QUuid> {web2.id, web1.id}));
    QCOMPARE(rows[2].id(), QString("Notes"));
    const QList<SourceIdentity> identities = s.sourceIdentities();
    QCOMPARE(identities.size(), 3);
    QCOMPARE(identities[1], rows[1].identity);

    QCOMPARE(s.count(SourceIdentity::from(web1)), 2); // another app, same address: same source
    QCOMPARE(s.count(SourceIdentity::from(note)), 1);
    QCOMPARE(s.count(SourceIdentity::from(capture("x", "Unknown"))), 0);
    s.deleteSelection(web2.id);
    QCOMPARE(s.count(SourceIdentity::from(web1)), 1);
    s.add(web2);
    QCOMPARE(s.count(SourceIdentity::from(web1)), 2);
}

void TestStoreOperations::addToActiveDraftCreatesPromptOne()
{
    StoreHarness h;
    Store& s = h.open();
    const Selection x = capture("x");
    s.add(x);
    h.elapse(1s);
    QCOMPARE(h.writes(), 1);
    QVERIFY(s.addSelectionToActiveDraft(x.id));
    QCOMPARE(s.drafts().size(), 1);
    const ContextDraft draft = s.drafts().first();
    QCOMPARE(draft.name, QString("Prompt 1"));
    QCOMPARE(s.activeDraftID(), draft.id);
    QCOMPARE(draft.task, QString());
    QCOMPARE(draft.templateName, QString("Sections"));
    QCOMPARE(draft.modelProfileID, QString("gpt-4o"));
    QCOMPARE(draft.entries.size(), 1);
    const ContextDraftEntry entry = draft.entries.first();
    QCOMPARE(entry.selectionID, x.id);
    QVERIFY(entry.include && !entry.pin && !entry.verbatim && !entry.note && !entry.customText);
    h.elapse(400ms);
    QCOMPARE(h.writes(), 2); // the two saves it scheduled made one write

    h.wallClock = h.wallClock.addSecs(30);
    QVERIFY(!s.addSelectionToActiveDraft(x.id));
    QCOMPARE(s.addSelectionsToActiveDraft({x.id}), 0);
    QCOMPARE(s.drafts().first().updatedAt, draft.updatedAt);
    h.elapse(1s);
    QCOMPARE(h.writes(), 2);
}

void TestStoreOperations::addToActiveDraftOrderIsDeterministic()
{
    StoreHarness h;
    Store& s = h.open();
    QList<Selection> library;
    for (int i = 0; i < 6; ++i) {
        library.append(capture("s" + QString::number(i)));
        s.add(library.last());
    }
    const QUuid unknownHigh = *Uuids::parse(u"F0000000-0000-4000-8000-000000000000");
    const QUuid unknownLow = *Uuids::parse(u"0A000000-0000-4000-8000-000000000000");
    const QSet<QUuid> ids {library[1].id, unknownHigh, library[4].id, unknownLow, library[2].id};
    QCOMPARE(s.addSelectionsToActiveDraft(ids), 5);
    QList<QUuid> order;
    const ContextDraft active = *s.activeDraft();
    for (const ContextDraftEntry& e : active.entries)
        order.append(e.selectionID);
    // Library order is newest first: s4, s2, s1; then unknown ids by their text.
    QCOMPARE(order, (QList<QUuid> {library[4].id, library[2].id, library[1].id, unknownLow, unknownHigh}));
}

void TestStoreOperations::draftNamesAndDeletion()
{
    StoreHarness h;
    Store& s = h.open();
    QVERIFY(!s.activeDraft());
    const ContextDraft p1 = *s.newDraft(std::nullopt);
    QCOMPARE(p1.name, QString("Prompt 1"));
    const ContextDraft p2 = *s.newDraft(std::nullopt);
    QCOMPARE(s.activeDraftID(), p2.id);
    QCOMPARE(s.newDraft(QString(""))->name, QString(""));
    s.deleteDraft(p1.id);
    QCOMPARE(s.newDraft(std::nullopt)->name, QString("Prompt 3")); // two drafts left: p2 and ""
    s.deleteDraft(s.drafts().last().id);
    s.deleteDraft(s.drafts().last().id);
    QCOMPARE(s.newDraft(std::nullopt)->name, QString("Prompt 2")); // the same name as the one left

    // Three drafts, the middle one active.
    s.activateDraft(p2.id);
    QCOMPARE(s.drafts().size(), 2);
    const ContextDraft third = *s.newDraft("Third");
    s.activateDraft(s.drafts()[1].id);
    const QUuid middle = s.drafts()[1].id;
    s.deleteDraft(third.id); // not active: stays
    QCOMPARE(s.activeDraftID(), middle);
    s.deleteDraft(middle); // active: the first remaining takes over
    QCOMPARE(s.activeDraftID(), p2.id);
    s.deleteDraft(p2.id); // the only one: none
    QVERIFY(s.drafts().isEmpty());
    QVERIFY(!s.activeDraftID());
    QVERIFY(!s.activeDraft());
}

void TestStoreOperations::updateDraftAppendsUnknownAndActivates()
{
    StoreHarness h;
    Store& s = h.open();
    ContextDraft outside {LibraryFixtures::id(3, 7), "Outside", "task", "Plain", "claude", LibraryFixtures::time(0),
        LibraryFixtures::time(0), {}};
    s.updateDraft(outside);
    QCOMPARE(s.drafts().size(), 1);
    QCOMPARE(s.activeDraftID(), outside.id);
    QCOMPARE(s.drafts().first().updatedAt, h.wallClock);
    QCOMPARE(s.drafts().first().createdAt, outside.createdAt);

    const ContextDraft other = *s.newDraft("Other");
    outside.task = "edited";
    s.updateDraft(outside); // replaces in place, keeps the active draft
    QCOMPARE(s.drafts().size(), 2);
    QCOMPARE(s.drafts().first().task, QString("edited"));
    QCOMPARE(s.activeDraftID(), other.id);
    QCOMPARE(s.ensureActiveDraft(), *s.findDraft(other.id));
}

TESSELLON_TEST_MAIN(TestStoreOperations)
#include "tst_StoreOperations.moc"

// Each operation's row signals name exactly the records it changed, with the positions a list
// model needs, and only after the change is visible through the store; each property's signal
// follows its row signals, once per operation that changed it.
void TestStoreOperations::rowSignalsNameTheChangedRecords()
{
    StoreHarness h;
    Seeded seed;
    seed.install(h);
    Store& s = h.open(); // c, b, a; a in the group and in both drafts
    QStringList log;
    const auto record = [&log](const QString& name, const QList<QUuid>& ids) {
        QStringList texts;
        for (const QUuid& id : ids)
            texts.append(Uuids::toText(id).left(8));
        log.append(name + u' ' + texts.join(u','));
    };
    connect(&s, &Store::selectionsInserted, this, [&](const QList<QUuid>& ids, const QList<qsizetype>& positions) {
        for (qsizetype i = 0; i < ids.size(); ++i)
            QCOMPARE(s.selections()[positions[i]].id, ids[i]);
        record(u"inserted"_qs, ids);
    });
    connect(&s, &Store::selectionsRemoved, this, [&](const QList<QUuid>& ids) {
        for (const QUuid& id : ids)
            QVERIFY(!s.findByID(id));
        record(u"removed"_qs, ids);
    });
    connect(&s, &Store::selectionsEdited, this, [&](const QList<QUuid>& ids) { record(u"edited"_qs, ids); });
    connect(&s, &Store::groupsInserted, this, [&](const QList<QUuid>& ids) { record(u"group+"_qs, ids); });
    connect(&s, &Store::groupsRemoved, this, [&](const QList<QUuid>& ids) { record(u"group-"_qs, ids); });
    connect(&s, &Store::groupRenamed, this, [&](const QUuid& id) { record(u"renamed"_qs, {id}); });
    connect(&s, &Store::draftInserted, this, [&](const QUuid& id) { record(u"draft+"_qs, {id}); });
    connect(&s, &Store::draftRemoved, this, [&](const QUuid& id) { record(u"draft-"_qs, {id}); });
    connect(&s, &Store::draftChanged, this, [&](const QUuid& id) { record(u"draft"_qs, {id}); });
    connect(&s, &Store::selectionsChanged, this, [&log] { log.append(u"selections"_qs); });
    connect(&s, &Store::groupsChanged, this, [&log] { log.append(u"groups"_qs); });
    connect(&s, &Store::draftsChanged, this, [&log] { log.append(u"drafts"_qs); });
    connect(&s, &Store::activeDraftIDChanged, this, [&log] { log.append(u"active"_qs); });
    const auto expect = [&log](const QStringList& expected) {
        QCOMPARE(log, expected);
        log.clear();
    };
    const auto t = [](const QUuid& id) { return Uuids::toText(id).left(8); };

    const QList<Selection> imported = s.addImportedTextChunks({"x", " ", "y"}, "Pasted text");
    expect({u"inserted "_qs + t(imported[1].id) + u',' + t(imported[0].id), u"selections"_qs});
    s.addToGroup(seed.group.id, {seed.a.id, seed.b.id}); // a is in it already
    expect({u"edited "_qs + t(seed.b.id), u"selections"_qs});
    s.addToGroup(seed.group.id, {seed.b.id}); // nothing changes: no signal
    expect({});
    s.renameGroup(seed.group.id, " Reading list ");
    expect({u"renamed "_qs + t(seed.group.id), u"groups"_qs});
    s.deleteGroup(seed.group.id);
    expect({u"group- "_qs + t(seed.group.id), u"groups"_qs, u"edited "_qs + t(seed.b.id) + u',' + t(seed.a.id),
        u"selections"_qs});
    const QUuid group = s.addGroup("New", "#4F8EF7")->id;
    expect({u"group+ "_qs + t(group), u"groups"_qs});
    s.deleteSelections({seed.a.id, seed.c.id, LibraryFixtures::id(9, 9)});
    expect({u"removed "_qs + t(seed.c.id) + u',' + t(seed.a.id), u"selections"_qs, u"draft "_qs + t(seed.first.id),
        u"draft "_qs + t(seed.second.id), u"drafts"_qs});
    const QUuid third = s.newDraft()->id;
    expect({u"draft+ "_qs + t(third), u"drafts"_qs, u"active"_qs});
    s.activateDraft(seed.second.id);
    s.deleteDraft(seed.second.id); // the active one: the first remaining becomes active
    expect({u"active"_qs, u"draft- "_qs + t(seed.second.id), u"drafts"_qs, u"active"_qs});
    ContextDraft edited = *s.findDraft(third);
    edited.task = "keystroke";
    s.updateDraft(edited);
    expect({u"draft "_qs + t(third), u"drafts"_qs});
    const Selection z = capture("z");
    s.add(z);
    s.add(z); // present already: no signal
    expect({u"inserted "_qs + t(z.id), u"selections"_qs});
}
