#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "Zubra/LibraryWindow/SidebarItem.h"
#include "support/TestMain.h"

#include <QSignalSpy>
#include <QTest>

using IdSet = QSet<QUuid>;

namespace {

QList<QUuid> ids(int n)
{
    QList<QUuid> list;
    for (int i = 0; i < n; ++i)
        list.append(QUuid::createUuid());
    return list;
}

IdSet setOf(const QList<QUuid>& all, const QList<int>& which)
{
    IdSet set;
    for (int i : which)
        set.insert(all[i]);
    return set;
}

SourceIdentity identity(const QString& identifier, const QString& app)
{
    return SourceIdentity {identifier, app, std::nullopt, identifier, std::nullopt};
}

} // namespace

class TestLibrarySelectionState : public QObject
{
    Q_OBJECT

private slots:
    void writeSelection_data();
    void writeSelection();
    void keepVisible_data();
    void keepVisible();
    void forget_data();
    void forget();
    void thousandsNumberedInSequence_data();
    void thousandsNumberedInSequence();
    void sidebarItems();
};

void TestLibrarySelectionState::writeSelection_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<int>("detailBefore"); // -1: none
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QList<int>>("detailAmong"); // empty: none
    QTest::newRow("click one") << QList<int> {} << -1 << QList<int> {2} << QList<int> {2};
    QTest::newRow("click another") << QList<int> {2} << 2 << QList<int> {4} << QList<int> {4};
    QTest::newRow("shift-click five") << QList<int> {0} << 0 << QList<int> {0, 1, 2, 3, 4, 5}
                                      << QList<int> {1, 2, 3, 4, 5};
    QTest::newRow("ctrl-click removes one") << QList<int> {1, 2, 3} << 3 << QList<int> {1, 2} << QList<int> {1, 2};
    QTest::newRow("deselect all") << QList<int> {1, 2} << 1 << QList<int> {} << QList<int> {};
    QTest::newRow("select all") << QList<int> {3} << 3 << QList<int> {0, 1, 2, 3, 4, 5, 6, 7}
                                << QList<int> {0, 1, 2, 4, 5, 6, 7};
}

void TestLibrarySelectionState::writeSelection()
{
    QFETCH(QList<int>, before);
    QFETCH(int, detailBefore);
    QFETCH(QList<int>, after);
    QFETCH(QList<int>, detailAmong);
    const QList<QUuid> all = ids(8);
    LibrarySelectionState state;
    state.set(setOf(all, before), detailBefore < 0 ? std::nullopt : std::optional(all[detailBefore]));
    QSignalSpy selected(&state, &LibrarySelectionState::selectedIDsChanged);
    state.writeSelection(setOf(all, after));
    QCOMPARE(state.selectedIDs(), setOf(all, after));
    QCOMPARE(selected.size(), before == after ? 0 : 1);
    if (detailAmong.isEmpty())
        QVERIFY(!state.detailSelectionID());
    else
        QVERIFY(setOf(all, detailAmong).contains(*state.detailSelectionID()));
}

void TestLibrarySelectionState::keepVisible_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("detail");
    QTest::addColumn<QList<int>>("visible");
    QTest::addColumn<QList<int>>("selectedAfter");
    QTest::addColumn<QList<int>>("detailAmong"); // empty: none
    QTest::newRow("all stay") << QList<int> {1, 2} << 2 << QList<int> {0, 1, 2} << QList<int> {1, 2} << QList<int> {2};
    QTest::newRow("inspected one hidden") << QList<int> {1, 2, 3} << 2 << QList<int> {1, 3}
                                          << QList<int> {1, 3} << QList<int> {1, 3};
    QTest::newRow("other selected hidden, inspected stays")
        << QList<int> {1, 2} << 2 << QList<int> {2} << QList<int> {2} << QList<int> {2};
    QTest::newRow("everything hidden") << QList<int> {1} << 1 << QList<int> {} << QList<int> {} << QList<int> {};
    // An inspected selection that is visible but not selected stays inspected.
    QTest::newRow("inspected without selection") << QList<int> {} << 4 << QList<int> {4} << QList<int> {}
                                                 << QList<int> {4};
}

void TestLibrarySelectionState::keepVisible()
{
    QFETCH(QList<int>, selected);
    QFETCH(int, detail);
    QFETCH(QList<int>, visible);
    QFETCH(QList<int>, selectedAfter);
    QFETCH(QList<int>, detailAmong);
    const QList<QUuid> all = ids(6);
    LibrarySelectionState state;
    state.set(setOf(all, selected), all[detail]);
    const IdSet shown = setOf(all, visible);
    state.keepVisible([&](const QUuid& id) { return shown.contains(id); });
    QCOMPARE(state.selectedIDs(), setOf(all, selectedAfter));
    if (detailAmong.isEmpty())
        QVERIFY(!state.detailSelectionID());
    else
        QVERIFY(setOf(all, detailAmong).contains(*state.detailSelectionID()));
}

void TestLibrarySelectionState::forget_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("detail");
    QTest::addColumn<QList<int>>("gone");
    QTest::addColumn<QList<int>>("selectedAfter");
    QTest::addColumn<QList<int>>("detailAmong"); // empty: none
    QTest::addColumn<int>("changes"); // selectedIDsChanged
    QTest::newRow("unselected rows go") << QList<int> {1, 2} << 2 << QList<int> {0, 5} << QList<int> {1, 2}
                                        << QList<int> {2} << 0;
    QTest::newRow("inspected one goes") << QList<int> {1, 2, 3} << 2 << QList<int> {2, 4} << QList<int> {1, 3}
                                        << QList<int> {1, 3} << 1;
    QTest::newRow("other selected goes, inspected stays")
        << QList<int> {1, 2} << 2 << QList<int> {1} << QList<int> {2} << QList<int> {2} << 1;
    QTest::newRow("everything goes") << QList<int> {1, 3} << 1 << QList<int> {3, 1} << QList<int> {}
                                     << QList<int> {} << 1;
    QTest::newRow("inspected without selection goes") << QList<int> {} << 4 << QList<int> {4} << QList<int> {}
                                                      << QList<int> {} << 0;
}

// The rows that left the list, looked at alone, decide as keepVisible decides over every row.
void TestLibrarySelectionState::forget()
{
    QFETCH(QList<int>, selected);
    QFETCH(int, detail);
    QFETCH(QList<int>, gone);
    QFETCH(QList<int>, selectedAfter);
    QFETCH(QList<int>, detailAmong);
    QFETCH(int, changes);
    const QList<QUuid> all = ids(6);
    LibrarySelectionState state;
    state.set(setOf(all, selected), all[detail]);
    QSignalSpy changed(&state, &LibrarySelectionState::selectedIDsChanged);
    QList<QUuid> leaving;
    for (int i : gone)
        leaving.append(all[i]);
    state.forget(leaving);
    QCOMPARE(state.selectedIDs(), setOf(all, selectedAfter));
    QCOMPARE(changed.size(), changes);
    if (detailAmong.isEmpty())
        QVERIFY(!state.detailSelectionID());
    else
        QVERIFY(setOf(all, detailAmong).contains(*state.detailSelectionID()));
}

void TestLibrarySelectionState::thousandsNumberedInSequence_data()
{
    QTest::addColumn<bool>("throughForget"); // else keepVisible
    QTest::addColumn<int>("step"); // every step-th identifier stays; 0: none stays
    QTest::newRow("a group deleted") << true << 0;
    QTest::newRow("every other row deleted") << true << 2;
    QTest::newRow("a search hides every other row") << false << 2;
}

// Identifiers numbered in sequence all hash alike under Qt's QUuid hash: thousands of them leave
// the selection as any others do (erased one by one, they froze the window for half a minute).
void TestLibrarySelectionState::thousandsNumberedInSequence()
{
    QFETCH(bool, throughForget);
    QFETCH(int, step);
    QList<QUuid> all;
    for (int n = 0; n < 5000; ++n)
        all.append(QUuid(0x5E1EC7ED, ushort(n >> 16), ushort(n), 0x80, 0, 0, 0, 0, 0, 0, 0));
    LibrarySelectionState state;
    state.set(IdSet(all.cbegin(), all.cend()), all.first());
    QList<QUuid> gone;
    IdSet staying;
    for (int n = 0; n < all.size(); ++n) {
        if (step > 0 && n % step == 0)
            staying.insert(all[n]);
        else
            gone.append(all[n]);
    }
    if (throughForget)
        state.forget(gone);
    else
        state.keepVisible([&staying](const QUuid& id) { return staying.contains(id); });
    QCOMPARE(state.selectedIDs(), staying);
    QCOMPARE(state.detailSelectionID(), step > 0 ? std::optional(all.first()) : std::nullopt);
}

void TestLibrarySelectionState::sidebarItems()
{
    const QUuid g = QUuid::fromString(u"0a1b2c3d-0000-4000-8000-000000000001"_qs);
    QCOMPARE(SidebarItem::allSelections().id(), u"all"_qs);
    QCOMPARE(SidebarItem::group(g).id(), u"group:0A1B2C3D-0000-4000-8000-000000000001"_qs);
    QCOMPARE(SidebarItem::draft(g).id(), u"draft:0A1B2C3D-0000-4000-8000-000000000001"_qs);
    QCOMPARE(SidebarItem::prompt().id(), u"prompt"_qs);
    QCOMPARE(SidebarItem::source(identity(u"https://a.example/"_qs, u"Firefox"_qs)).id(),
        u"source:https://a.example/"_qs);
    QVERIFY(SidebarItem::group(g) != SidebarItem::draft(g));
    QVERIFY(SidebarItem::group(g) != SidebarItem::group(QUuid::createUuid()));
    QVERIFY(SidebarItem::prompt().isCompose() && SidebarItem::draft(g).isCompose());
    QVERIFY(!SidebarItem::allSelections().narrowsList() && SidebarItem::group(g).narrowsList());

    // The same address captured from another application is still the chosen source.
    const SidebarItem firefox = SidebarItem::source(identity(u"https://a.example/"_qs, u"Firefox"_qs));
    const SidebarItem chromium = SidebarItem::source(identity(u"https://a.example/"_qs, u"Chromium"_qs));
    QCOMPARE(firefox, chromium);
    QCOMPARE(qHash(firefox), qHash(chromium));
    QVERIFY(firefox != SidebarItem::source(identity(u"https://b.example/"_qs, u"Firefox"_qs)));
    QSet<SidebarItem> items {firefox, chromium, SidebarItem::allSelections(), SidebarItem::prompt()};
    QCOMPARE(items.size(), 3);
}

TESSELLON_TEST_MAIN(TestLibrarySelectionState)
#include "tst_LibrarySelectionState.moc"
