#include "ModelTestLibrary.h"
#include "support/StoreHarness.h"
#include "ZubraCore/Models/SidebarModel.h"
#include "support/TestMain.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace ModelTestLibrary;
using Section = SidebarModel::Section;

namespace {

// One line per item of a section: what a row shows.
QStringList rows(const SidebarModel& model, Section section)
{
    QStringList out;
    const QModelIndex parent = model.sectionIndex(section);
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex item = model.index(row, 0, parent);
        out.append(item.data(SidebarModel::TitleRole).toString() + u'|'
            + item.data(SidebarModel::SourceIdentifierRole).toString() + u'|'
            + QString::number(item.data(SidebarModel::CountRole).toLongLong()));
    }
    return out;
}

// The same lines from the store's own queries.
QStringList expected(const Store& store, Section section)
{
    QStringList out;
    switch (section) {
    case Section::prompt:
        if (const std::optional<ContextDraft> active = store.activeDraft())
            out.append(u"Prompt||"_qs + QString::number(active->includedCount()));
        for (const ContextDraft& d : store.drafts()) {
            if (store.activeDraftID() != d.id)
                out.append(d.name + u"||"_qs + QString::number(d.includedCount()));
        }
        break;
    case Section::library:
        out.append(u"All Selections||"_qs + QString::number(store.selections().size()));
        break;
    case Section::groups:
        for (const SelectionGroup& g : store.groups())
            out.append(g.name + u"||"_qs + QString::number(store.selectionsIn(g.id).size()));
        break;
    case Section::sources:
        for (const SourceAggregate& a : store.sourceAggregates())
            out.append(a.identity.appName + u'|' + a.identity.identifier + u'|' + QString::number(a.count));
        break;
    }
    return out;
}

} // namespace

class TestSidebarModel : public QObject
{
    Q_OBJECT

private slots:
    void followsTheStoreThroughRandomChanges();
    void signalsNameWhatChanged();
    void itemsMapToChoices();
    void deleteAcrossSourcesSignalsByRunCount_data();
    void deleteAcrossSourcesSignalsByRunCount();
    void sourcesThatLookTheSameAreOneRow();
};

void TestSidebarModel::followsTheStoreThroughRandomChanges()
{
    QRandomGenerator random(21);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 200));
    Store& store = h.open();
    SidebarModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    for (int step = 0; step < 300; ++step) {
        const QList<Selection>& all = store.selections();
        const auto someIDs = [&] {
            QSet<QUuid> ids;
            for (int i = random.bounded(1, 4); i > 0 && !all.isEmpty(); --i)
                ids.insert(all[random.bounded(int(all.size()))].id);
            return ids;
        };
        const auto someGroup = [&] {
            return store.groups().isEmpty() ? QUuid() : store.groups()[random.bounded(int(store.groups().size()))].id;
        };
        const auto someDraft = [&] {
            return store.drafts().isEmpty() ? QUuid() : store.drafts()[random.bounded(int(store.drafts().size()))].id;
        };
        switch (random.bounded(11)) {
        case 0:
        case 1:
            store.add(randomSelection(random));
            break;
        case 2:
            store.deleteSelections(someIDs());
            break;
        case 3:
            store.addToGroup(someGroup(), someIDs());
            break;
        case 4:
            store.removeFromGroups({someGroup()}, someIDs());
            break;
        case 5:
            store.addGroup(u"New"_qs, u"#112233"_qs);
            break;
        case 6:
            store.renameGroup(someGroup(), u"Renamed "_qs + QString::number(step));
            break;
        case 7:
            store.deleteGroup(someGroup());
            break;
        case 8:
            store.newDraft();
            break;
        case 9:
            store.deleteDraft(someDraft());
            break;
        default:
            store.activateDraft(someDraft());
            store.addSelectionsToActiveDraft(someIDs());
        }
        for (Section section : {Section::prompt, Section::library, Section::groups, Section::sources})
            QCOMPARE(rows(model, section), expected(store, section));
    }
    QCOMPARE(resets.size(), 0);
}

void TestSidebarModel::signalsNameWhatChanged()
{
    QRandomGenerator random(5);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 50'000), false);
    Store& store = h.open();
    store.newDraft(u"Draft"_qs);
    SidebarModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    const auto changedRows = [&changed] {
        QList<QModelIndex> out;
        for (const QList<QVariant>& args : std::as_const(changed))
            out.append(args[0].toModelIndex());
        return out;
    };

    // A capture from a known source: the library count and that source's count.
    Selection known = randomSelection(random);
    known.sourceURL = u"https://example.org/1"_qs;
    store.add(known);
    QCOMPARE(inserted.size(), 0);
    QVERIFY(changedRows().contains(model.index(0, 0, model.sectionIndex(Section::library))));
    QVERIFY(changedRows().contains(model.indexOfSource(known.sourceURL.value())));

    // A capture from a new source: one row, where the order puts it.
    Selection fresh = known;
    fresh.id = QUuid::createUuid();
    fresh.sourceURL = u"https://a-new.example/"_qs;
    store.add(fresh);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][0].toModelIndex(), model.sectionIndex(Section::sources));
    QCOMPARE(inserted[0][1].toInt(), model.indexOfSource(*fresh.sourceURL).row());
    store.deleteSelection(fresh.id);
    QCOMPARE(removed.size(), 1);
    QVERIFY(!model.indexOfSource(*fresh.sourceURL).isValid());

    // A keystroke in the draft's task shows nowhere; a new name changes its row.
    changed.clear();
    ContextDraft draft = *store.activeDraft();
    draft.task = u"Summarize"_qs;
    store.updateDraft(draft);
    QCOMPARE(changed.size(), 0);
    QString newName = u"Renamed"_qs;
    store.newDraft(u"Other"_qs); // the first draft becomes an ordinary row
    changed.clear();
    draft = *store.findDraft(draft.id);
    draft.name = newName;
    store.updateDraft(draft);
    QCOMPARE(changedRows(), QList<QModelIndex> {model.indexOfDraft(draft.id)});
    QCOMPARE(model.indexOfDraft(draft.id).data().toString(), newName);

    // Groups: a rename changes the row, a new group inserts one.
    changed.clear();
    const QUuid group = store.groups().first().id;
    store.renameGroup(group, u"Reading"_qs);
    QCOMPARE(changedRows(), QList<QModelIndex> {model.indexOfGroup(group)});
    const int groupRows = model.rowCount(model.sectionIndex(Section::groups));
    inserted.clear();
    const QUuid added = store.addGroup(u"Later"_qs, u"#4F8EF7"_qs)->id;
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted[0][1].toInt(), groupRows);
    QCOMPARE(model.indexOfGroup(added).data(SidebarModel::ColorRole).value<QColor>(), QColor(0x4F, 0x8E, 0xF7));

    QCOMPARE(resets.size(), 0);
    QCOMPARE(layout.size(), 0);
}

void TestSidebarModel::itemsMapToChoices()
{
    QRandomGenerator random(8);
    StoreHarness h;
    h.writeLibrary(randomSnapshot(random, 30));
    Store& store = h.open();
    store.newDraft();
    SidebarModel model(&store);
    const QModelIndex library = model.index(0, 0, model.sectionIndex(Section::library));
    QCOMPARE(model.choiceAt(library), SidebarChoice::all());
    const QUuid group = store.groups()[1].id;
    QCOMPARE(model.choiceAt(model.indexOfGroup(group)), SidebarChoice::group(group));
    const QModelIndex source = model.index(0, 0, model.sectionIndex(Section::sources));
    QCOMPARE(model.choiceAt(source), SidebarChoice::source(source.data(SidebarModel::SourceIdentifierRole).toString()));
    QCOMPARE(model.choiceAt(model.index(0, 0, model.sectionIndex(Section::prompt))), std::nullopt);
    QCOMPARE(model.choiceAt(model.sectionIndex(Section::groups)), std::nullopt);
    const Selection& newest = store.selections()[0];
    QCOMPARE(model.indexOfSource(SourceIdentity::keyOf(newest)).data(SidebarModel::IconKeyRole).toString(),
        newest.bundleID.value_or(newest.appName));
}

void TestSidebarModel::deleteAcrossSourcesSignalsByRunCount_data()
{
    QTest::addColumn<int>("runs");
    QTest::addColumn<bool>("oneLayoutChange");
    QTest::newRow("a few runs: removed rows") << 3 << false;
    QTest::newRow("many runs: one layout change") << 400 << true;
}

// Every other source row goes: each a run of its own. A view pays a pass over its rows per
// signal, so many runs come as one layout change, after which the rows that stay keep their
// persistent indexes and the rows that went have none.
void TestSidebarModel::deleteAcrossSourcesSignalsByRunCount()
{
    QFETCH(int, runs);
    QFETCH(bool, oneLayoutChange);
    QRandomGenerator random(8);
    StoreSnapshot snapshot;
    for (int n = 0; n < 2 * runs; ++n) {
        Selection s = randomSelection(random);
        s.filePath.reset();
        s.sourceURL = u"https://example.org/page/"_qs + QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0'));
        snapshot.selections.append(s);
    }
    StoreHarness h;
    h.writeLibrary(snapshot);
    Store& store = h.open();
    SidebarModel model(&store);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QModelIndex sources = model.sectionIndex(Section::sources);
    QCOMPARE(model.rowCount(sources), 2 * runs);
    QSet<QUuid> ids;
    for (const Selection& s : store.selections()) {
        if (s.sourceURL->right(4).toInt() % 2 == 0)
            ids.insert(s.id);
    }
    const QPersistentModelIndex kept = model.indexOfSource(u"https://example.org/page/0001"_qs);
    const QPersistentModelIndex gone = model.indexOfSource(u"https://example.org/page/0002"_qs);
    QVERIFY(kept.isValid() && gone.isValid());
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);

    store.deleteSelections(ids);

    QCOMPARE(removed.size(), oneLayoutChange ? 0 : runs);
    QCOMPARE(layout.size(), oneLayoutChange ? 1 : 0);
    QCOMPARE(rows(model, Section::sources), expected(store, Section::sources));
    QVERIFY(!gone.isValid());
    QVERIFY(kept.isValid());
    QCOMPARE(kept.data(SidebarModel::SourceIdentifierRole).toString(), u"https://example.org/page/0001"_qs);
    QCOMPARE(kept.row(), 0);
}

// An application or address spelled in composed and in decomposed form is one row, and choosing
// it lists both captures; a file path spelled both ways names two files, two rows.
void TestSidebarModel::sourcesThatLookTheSameAreOneRow()
{
    StoreHarness h;
    StoreSnapshot snapshot;
    const auto add = [&snapshot](const QString& app, std::optional<QString> url, std::optional<QString> path) {
        Selection s;
        s.id = QUuid::createUuid();
        s.text = app;
        s.setMarkdown(s.text);
        s.appName = app;
        s.sourceURL = std::move(url);
        s.filePath = std::move(path);
        s.createdAt = QDateTime(QDate(2025, 3, 14), QTime(10, 0), Qt::UTC).addSecs(snapshot.selections.size());
        snapshot.selections.append(s);
    };
    add(u"Cafe\u0301"_qs, std::nullopt, std::nullopt);
    add(u"Caf\u00e9"_qs, std::nullopt, std::nullopt);
    add(u"Firefox"_qs, u"https://x.example/cafe\u0301"_qs, std::nullopt);
    add(u"Firefox"_qs, u"https://x.example/caf\u00e9"_qs, std::nullopt);
    add(u"Writer"_qs, std::nullopt, u"/home/u/Cafe\u0301.txt"_qs);
    add(u"Writer"_qs, std::nullopt, u"/home/u/Caf\u00e9.txt"_qs);
    h.writeLibrary(snapshot);
    Store& store = h.open();
    SidebarModel model(&store);
    QStringList counts;
    const QModelIndex parent = model.sectionIndex(Section::sources);
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex item = model.index(row, 0, parent);
        const QString key = item.data(SidebarModel::SourceIdentifierRole).toString();
        counts.append(key + u' ' + QString::number(item.data(SidebarModel::CountRole).toLongLong()));
        QCOMPARE(store.selectionIDsFrom(key).size(), item.data(SidebarModel::CountRole).toLongLong());
    }
    counts.sort();
    QCOMPARE(counts,
        (QStringList {u"/home/u/Cafe\u0301.txt 1"_qs, u"/home/u/Caf\u00e9.txt 1"_qs, u"Caf\u00e9 2"_qs,
            u"https://x.example/caf\u00e9 2"_qs}));
    QCOMPARE(rows(model, Section::sources), expected(store, Section::sources));
}

TESSELLON_TEST_MAIN(TestSidebarModel)
#include "tst_SidebarModel.moc"
