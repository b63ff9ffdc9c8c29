#include "ModelTestLibrary.h"
#include "support/StoreHarness.h"
#include "ZubraCore/Models/DraftEntriesModel.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace ModelTestLibrary;

namespace {

// Rows of insertions: first and last.
using Runs = QList<QPair<int, int>>;

QList<QUuid> selectionIDs(const QList<ContextDraftEntry>& entries)
{
    QList<QUuid> ids;
    for (const ContextDraftEntry& e : entries)
        ids.append(e.selectionID);
    return ids;
}

QList<QUuid> rowSelections(const DraftEntriesModel& model)
{
    QList<QUuid> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.append(model.index(row).data(DraftEntriesModel::SelectionIdRole).toUuid());
    return ids;
}

// A store whose active draft holds the five newest selections, newest first.
struct Fixture
{
    Fixture()
    {
        QRandomGenerator random(9);
        h.writeLibrary(randomSnapshot(random, 40));
        Store& store = h.open();
        draftID = store.newDraft(u"Draft"_qs)->id;
        for (int i = 0; i < 5; ++i)
            store.addSelectionToActiveDraft(store.selections()[i].id);
        model = std::make_unique<DraftEntriesModel>(&store);
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        model->setDraftID(draftID);
    }
    Store& store() { return *h.store; }
    QList<QUuid> stored() { return selectionIDs(store().findDraft(draftID)->entries); }

    StoreHarness h;
    QUuid draftID;
    std::unique_ptr<DraftEntriesModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

class TestDraftEntriesModel : public QObject
{
    Q_OBJECT

private slots:
    void moveRows_data();
    void moveRows();
    void editsWriteThroughTheStore();
    void changesFromElsewhereArriveAsRowSignals();
    void runsOfNewEntriesAreOneInsertionEach_data();
    void runsOfNewEntriesAreOneInsertionEach();
};

void TestDraftEntriesModel::moveRows_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("destination");
    QTest::addColumn<QList<int>>("order"); // the original rows, in their new order
    QTest::addColumn<bool>("moved");
    QTest::newRow("first to end") << 0 << 1 << 5 << QList<int> {1, 2, 3, 4, 0} << true;
    QTest::newRow("last to top") << 4 << 1 << 0 << QList<int> {4, 0, 1, 2, 3} << true;
    QTest::newRow("two down") << 1 << 2 << 4 << QList<int> {0, 3, 1, 2, 4} << true;
    QTest::newRow("onto itself") << 2 << 1 << 3 << QList<int> {0, 1, 2, 3, 4} << false;
    QTest::newRow("past the end") << 3 << 3 << 0 << QList<int> {0, 1, 2, 3, 4} << false;
}

// The store's entries follow the model's move, and the moved entry's persistent index follows it.
void TestDraftEntriesModel::moveRows()
{
    QFETCH(int, source);
    QFETCH(int, count);
    QFETCH(int, destination);
    QFETCH(QList<int>, order);
    QFETCH(bool, moved);
    Fixture f;
    const QList<QUuid> before = f.stored();
    const QPersistentModelIndex held = f.model->index(source);
    QSignalSpy layout(f.model.get(), &QAbstractItemModel::layoutChanged);
    QCOMPARE(f.model->moveRows({}, source, count, {}, destination), moved);
    QList<QUuid> expected;
    for (int row : order)
        expected.append(before[row]);
    QCOMPARE(f.stored(), expected);
    QCOMPARE(rowSelections(*f.model), expected);
    QCOMPARE(held.data(DraftEntriesModel::SelectionIdRole).toUuid(), before[source]);
    QCOMPARE(layout.size(), 0); // a move is announced as a move, not again as a layout change
}

void TestDraftEntriesModel::editsWriteThroughTheStore()
{
    Fixture f;
    const QModelIndex second = f.model->index(1);
    QVERIFY(f.model->setData(second, false, DraftEntriesModel::IncludeRole));
    QVERIFY(f.model->setData(second, true, DraftEntriesModel::PinRole));
    QVERIFY(f.model->setData(second, u"keep the numbers"_qs, DraftEntriesModel::NoteRole));
    ContextDraftEntry entry = f.store().findDraft(f.draftID)->entries[1];
    QCOMPARE(entry.include, false);
    QCOMPARE(entry.pin, true);
    QCOMPARE(entry.note, std::optional<QString>(u"keep the numbers"_qs));
    QVERIFY(f.model->setData(second, QVariant(), DraftEntriesModel::NoteRole));
    QCOMPARE(f.store().findDraft(f.draftID)->entries[1].note, std::nullopt);
    QCOMPARE(second.data(DraftEntriesModel::NoteRole), QVariant());

    QVERIFY(f.model->removeRows(0, 2));
    QCOMPARE(f.stored().size(), 3);
    QCOMPARE(rowSelections(*f.model), f.stored());
}

void TestDraftEntriesModel::changesFromElsewhereArriveAsRowSignals()
{
    Fixture f;
    QSignalSpy removed(f.model.get(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(f.model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy layout(f.model.get(), &QAbstractItemModel::layoutChanged);
    QSignalSpy changed(f.model.get(), &QAbstractItemModel::dataChanged);
    QSignalSpy resets(f.model.get(), &QAbstractItemModel::modelReset);

    // Deleting a selection from the library removes its entry's row.
    const QUuid gone = f.stored()[2];
    f.store().deleteSelection(gone);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed[0][1].toInt(), 2);

    // The composer reverses the entries: one layout change; the held row follows its entry.
    const QPersistentModelIndex held = f.model->index(0);
    const QUuid heldEntry = held.data(DraftEntriesModel::EntryIdRole).toUuid();
    ContextDraft draft = *f.store().findDraft(f.draftID);
    std::reverse(draft.entries.begin(), draft.entries.end());
    f.store().updateDraft(draft);
    QCOMPARE(layout.size(), 1);
    QCOMPARE(held.row(), f.model->rowCount() - 1);
    QCOMPARE(held.data(DraftEntriesModel::EntryIdRole).toUuid(), heldEntry);

    // A capture added to the draft inserts a row; an edit in another draft shows nothing.
    const Selection capture = randomSelection(*QRandomGenerator::global());
    f.store().add(capture);
    f.store().addSelectionToActiveDraft(capture.id);
    QCOMPARE(inserted.size(), 1);
    changed.clear();
    ContextDraft other = *f.store().newDraft(u"Other"_qs);
    other.task = u"x"_qs;
    f.store().updateDraft(other);
    QCOMPARE(changed.size(), 0);

    // A group drop on a shown selection repaints its row only.
    const QUuid shown = rowSelections(*f.model).first();
    f.store().addToGroup(QUuid::createUuid(), {shown});
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0][0].toModelIndex().row(), 0);
    QCOMPARE(f.model->index(0).data(DraftEntriesModel::HeadlineRole).toString(),
        f.store().findByID(shown)->headline());
    QCOMPARE(resets.size(), 0);
}

void TestDraftEntriesModel::runsOfNewEntriesAreOneInsertionEach_data()
{
    // The new draft's entries: 'o' an entry already there (in order), 'n' a new one.
    QTest::addColumn<QString>("layout");
    QTest::addColumn<Runs>("insertions");
    QTest::newRow("a batch appended") << "ooooonnnn" << Runs {{5, 8}};
    QTest::newRow("a batch in front") << "nnnooooo" << Runs {{0, 2}};
    QTest::newRow("runs between") << "nooonnoon" << Runs {{0, 0}, {4, 5}, {8, 8}};
    QTest::newRow("one removed, a run added") << "oooonnn" << Runs {{4, 6}};
}

// An import puts thousands of entries into a draft at once: the views hear one insertion per
// run of new rows, not one per row.
void TestDraftEntriesModel::runsOfNewEntriesAreOneInsertionEach()
{
    QFETCH(QString, layout);
    QFETCH(Runs, insertions);
    Fixture f;
    ContextDraft draft = *f.store().findDraft(f.draftID);
    const QList<ContextDraftEntry> old = draft.entries;
    draft.entries.clear();
    qsizetype nextOld = 0;
    for (const QChar kind : layout) {
        if (kind == u'o') {
            draft.entries.append(old[nextOld++]);
        } else {
            ContextDraftEntry entry;
            entry.id = QUuid::createUuid();
            entry.selectionID = f.store().selections()[20 + draft.entries.size()].id;
            draft.entries.append(entry);
        }
    }
    QSignalSpy inserted(f.model.get(), &QAbstractItemModel::rowsInserted);
    f.store().updateDraft(draft);
    Runs seen;
    for (const QList<QVariant>& signal : inserted)
        seen.append({signal[1].toInt(), signal[2].toInt()});
    QCOMPARE(seen, insertions);
    QCOMPARE(rowSelections(*f.model), f.stored());
}

TESSELLON_TEST_MAIN(TestDraftEntriesModel)
#include "tst_DraftEntriesModel.moc"
