#include "ModelTestLibrary.h"
#include "support/StoreHarness.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace ModelTestLibrary;

namespace {

QList<QUuid> rowIDs(const VisibleSelectionsModel& model)
{
    QList<QUuid> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.append(model.idAt(row));
    return ids;
}

// Every signal a view reacts to, counted.
struct Spies
{
    explicit Spies(QAbstractItemModel* model)
        : reset(model, &QAbstractItemModel::modelReset)
        , layout(model, &QAbstractItemModel::layoutChanged)
        , inserted(model, &QAbstractItemModel::rowsInserted)
        , removed(model, &QAbstractItemModel::rowsRemoved)
        , changed(model, &QAbstractItemModel::dataChanged)
    {
    }
    void clear()
    {
        for (QSignalSpy* spy : {&reset, &layout, &inserted, &removed, &changed})
            spy->clear();
    }
    QSignalSpy reset;
    QSignalSpy layout;
    QSignalSpy inserted;
    QSignalSpy removed;
    QSignalSpy changed;
};

} // namespace

class TestVisibleSelectionsModel : public QObject
{
    Q_OBJECT

private slots:
    void loadedLibraryShowsEveryOrder_data();
    void loadedLibraryShowsEveryOrder();
    void followsTheOracleThroughRandomChanges();
    void largeLibraryChangesRowsNeverResets();
    void keepsTheCurrentRowAcrossAFilterChange();
    void draftKeystrokeTouchesNoSelectionSignal();
    void scatteredDeleteSignalsByRunCount_data();
    void scatteredDeleteSignalsByRunCount();
};

void TestVisibleSelectionsModel::loadedLibraryShowsEveryOrder_data()
{
    QTest::addColumn<QString>("arrangement");
    for (const char* arrangement : {"newest first", "oldest first", "shuffled"})
        QTest::newRow(arrangement) << QString::fromLatin1(arrangement);
}

// A library as loaded, in capture order either way round (ties included) or in none: every order
// equals the oracle's, also after a capture that ties with loaded selections.
void TestVisibleSelectionsModel::loadedLibraryShowsEveryOrder()
{
    QFETCH(QString, arrangement);
    QRandomGenerator random(7);
    StoreSnapshot snapshot = randomSnapshot(random, 400);
    QList<Selection>& selections = snapshot.selections;
    const auto newer = [](const Selection& a, const Selection& b) { return a.createdAt > b.createdAt; };
    if (arrangement == u"newest first"_qs)
        std::stable_sort(selections.begin(), selections.end(), newer);
    else if (arrangement == u"oldest first"_qs)
        std::stable_sort(selections.begin(), selections.end(), [&](const Selection& a, const Selection& b) {
            return newer(b, a);
        });
    StoreHarness h;
    h.writeLibrary(snapshot);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    for (int round = 0; round < 2; ++round) {
        for (SortMode mode : SortModes::allCases()) {
            model.setSortMode(mode);
            QCOMPARE(rowIDs(model), expectedRows(store, SidebarChoice::all(), QString(), mode));
        }
        Selection tied = randomSelection(random);
        tied.createdAt = selections[random.bounded(int(selections.size()))].createdAt;
        store.add(tied);
    }
}

// Random captures, imports, deletes, group edits, searches, orders and sidebar choices: after each,
// the rows equal the oracle's, the tester finds the signals consistent, and a row held by a
// persistent index still shows the same selection when it is still shown.
void TestVisibleSelectionsModel::followsTheOracleThroughRandomChanges()
{
    QRandomGenerator random(12);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 300));
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QStringList searches {u""_qs, u"a"_qs, u"al"_qs, u"alp"_qs, u" Alpha "_qs, u"caf\u00e9"_qs, u"cafe"_qs,
        u"e"_qs, u"e\u0301"_qs, u"fox\nbreak"_qs, u"example.org/2"_qs, u"doc"_qs, u"zzz"_qs};
    QString search;

    for (int step = 0; step < 400; ++step) {
        QPersistentModelIndex held;
        QUuid heldID;
        if (model.rowCount() > 0) {
            held = model.index(random.bounded(model.rowCount()));
            heldID = model.idAt(held.row());
        }
        const int op = random.bounded(9);
        const QList<Selection>& all = store.selections();
        const auto someIDs = [&] {
            QSet<QUuid> ids;
            for (int i = random.bounded(1, 4); i > 0 && !all.isEmpty(); --i)
                ids.insert(all[random.bounded(int(all.size()))].id);
            return ids;
        };
        switch (op) {
        case 0:
        case 1:
            store.add(randomSelection(random));
            break;
        case 2:
            store.addImportedTextChunks({u"alpha one"_qs, u"Beta two"_qs}, u"Pasted text"_qs);
            break;
        case 3:
            store.deleteSelections(someIDs());
            break;
        case 4:
            store.addToGroup(groupID(random.bounded(3)), someIDs());
            break;
        case 5:
            store.removeFromGroups({groupID(random.bounded(3))}, someIDs());
            break;
        case 6:
            search = searches[random.bounded(int(searches.size()))];
            model.setSearchText(search);
            break;
        case 7:
            model.setSortMode(SortModes::allCases()[random.bounded(4)]);
            break;
        default: {
            const int kind = random.bounded(3);
            if (kind == 0)
                model.setChoice(SidebarChoice::all());
            else if (kind == 1)
                model.setChoice(SidebarChoice::group(groupID(random.bounded(3))));
            else if (!all.isEmpty())
                model.setChoice(SidebarChoice::source(SourceIdentity::keyOf(all[random.bounded(int(all.size()))])));
        }
        }
        const QList<QUuid> expected = expectedRows(store, model.choice(), search, model.sortMode());
        QCOMPARE(rowIDs(model), expected);
        if (!heldID.isNull() && expected.contains(heldID)) {
            QVERIFY2(held.isValid(), qPrintable(u"operation "_qs + QString::number(op)));
            QCOMPARE(model.idAt(held.row()), heldID);
        }
        if (!expected.isEmpty()) {
            const QUuid id = expected[random.bounded(int(expected.size()))];
            QCOMPARE(model.idAt(model.rowOf(id)), id);
        }
    }
}

// At 50,000 selections a capture inserts one row, a delete removes one, a drop onto the shown
// group inserts the dropped row, and a new order is one layout change: never a reset.
void TestVisibleSelectionsModel::largeLibraryChangesRowsNeverResets()
{
    QRandomGenerator random(50);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 50'000), false);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Spies spies(&model);

    Selection first = randomSelection(random);
    first.groupIDs.clear();
    store.add(first);
    QCOMPARE(spies.inserted.size(), 1);
    QCOMPARE(spies.inserted[0][1].toInt(), model.rowOf(first.id));
    QCOMPARE(spies.inserted[0][2].toInt(), model.rowOf(first.id));

    model.setSortMode(SortMode::bySource);
    QCOMPARE(spies.layout.size(), 1);
    QCOMPARE(spies.inserted.size(), 1);

    Selection second = randomSelection(random);
    second.appName = u"Firefox"_qs;
    store.add(second);
    QCOMPARE(spies.inserted.size(), 2);
    QCOMPARE(spies.inserted[1][1].toInt(), model.rowOf(second.id));

    const QUuid victim = store.selections()[random.bounded(int(store.selections().size()))].id;
    const int victimRow = model.rowOf(victim);
    store.deleteSelection(victim);
    QCOMPARE(spies.removed.size(), 1);
    QCOMPARE(spies.removed[0][1].toInt(), victimRow);
    QCOMPARE(model.rowOf(victim), -1);

    model.setChoice(SidebarChoice::group(groupID(1)));
    spies.clear();
    const QUuid dropped = first.id;
    store.addToGroup(groupID(1), {dropped});
    QCOMPARE(spies.inserted.size(), 1);
    QCOMPARE(spies.inserted[0][1].toInt(), model.rowOf(dropped));
    store.addToGroup(groupID(2), {dropped}); // an edit of a shown row
    QVERIFY(!spies.changed.isEmpty());
    QCOMPARE(spies.changed.last()[0].toModelIndex().row(), model.rowOf(dropped));

    QCOMPARE(spies.reset.size(), 0);
    QCOMPARE(rowIDs(model), expectedRows(store, model.choice(), QString(), model.sortMode()));
}

// A search that keeps the current row keeps its persistent index on that selection.
void TestVisibleSelectionsModel::keepsTheCurrentRowAcrossAFilterChange()
{
    QRandomGenerator random(3);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 2'000), false);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    Spies spies(&model);
    int row = 0;
    while (!model.selectionAt(row).text.contains(u"delta"_qs))
        ++row;
    const QPersistentModelIndex current = model.index(row);
    const QUuid id = model.idAt(row);
    model.setSearchText(u"Delta"_qs);
    QVERIFY(current.isValid());
    QCOMPARE(model.idAt(current.row()), id);
    QCOMPARE(current.data(VisibleSelectionsModel::IdRole).toUuid(), id);
    model.setSearchText(u"zzz"_qs);
    QVERIFY(!current.isValid());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(spies.reset.size(), 0);
}

void TestVisibleSelectionsModel::scatteredDeleteSignalsByRunCount_data()
{
    QTest::addColumn<int>("runs");
    QTest::addColumn<bool>("oneLayoutChange");
    QTest::newRow("a few runs: removed rows") << 5 << false;
    QTest::newRow("many runs: one layout change") << 500 << true;
}

// Every third row deleted, each a run of its own: many runs come as one layout change that keeps
// the persistent indexes of the rows that stay.
void TestVisibleSelectionsModel::scatteredDeleteSignalsByRunCount()
{
    QFETCH(int, runs);
    QFETCH(bool, oneLayoutChange);
    QRandomGenerator random(9);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 3 * runs), false);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSet<QUuid> ids;
    for (int row = 1; row < model.rowCount(); row += 3)
        ids.insert(model.idAt(row));
    const QPersistentModelIndex kept = model.index(model.rowCount() - 1);
    const QUuid keptID = model.idAt(kept.row());
    const QPersistentModelIndex gone = model.index(1);
    Spies spies(&model);

    store.deleteSelections(ids);

    QCOMPARE(spies.removed.size(), oneLayoutChange ? 0 : runs);
    QCOMPARE(spies.layout.size(), oneLayoutChange ? 1 : 0);
    QCOMPARE(spies.reset.size(), 0);
    QCOMPARE(rowIDs(model), expectedRows(store, model.choice(), QString(), model.sortMode()));
    QVERIFY(!gone.isValid());
    QCOMPARE(kept.data(VisibleSelectionsModel::IdRole).toUuid(), keptID);
    QCOMPARE(kept.row(), 2 * runs - 1);
}

void TestVisibleSelectionsModel::draftKeystrokeTouchesNoSelectionSignal()
{
    QRandomGenerator random(4);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 20), false);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    ContextDraft draft = *store.newDraft();
    store.addSelectionToActiveDraft(store.selections().first().id);
    Spies spies(&model);
    QSignalSpy selectionsChanged(&store, &Store::selectionsChanged);
    QSignalSpy edited(&store, &Store::selectionsEdited);
    QSignalSpy draftChanged(&store, &Store::draftChanged);
    draft = *store.findDraft(draft.id);
    draft.task += u'x';
    store.updateDraft(draft);
    QCOMPARE(draftChanged.size(), 1);
    QCOMPARE(draftChanged[0][0].toUuid(), draft.id);
    QCOMPARE(selectionsChanged.size() + edited.size(), 0);
    QCOMPARE(spies.changed.size() + spies.layout.size() + spies.inserted.size() + spies.removed.size(), 0);
}

TESSELLON_TEST_MAIN(TestVisibleSelectionsModel)
#include "tst_VisibleSelectionsModel.moc"
