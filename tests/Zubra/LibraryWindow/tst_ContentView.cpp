#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/ReduceMotion.h"
#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using IdSet = QSet<QUuid>;

namespace {

QUuid sel(int n) { return LibraryFixtures::id(1, n); }
QUuid grp(int n) { return LibraryFixtures::id(2, n); }

// Eight selections: 0–3 from one address (0 and 1 captured with another application), 4–5 from
// a file, 6–7 from an application alone; 1, 4 and 7 in group 0.
StoreSnapshot fixture()
{
    StoreSnapshot snapshot;
    const QStringList texts {u"Alpha budget notes"_qs, u"Beta context window"_qs, u"Gamma token count"_qs,
        u"Delta prompt layout"_qs, u"Epsilon file passage"_qs, u"Zeta file passage"_qs, u"Eta terminal output"_qs,
        u"Theta terminal output"_qs};
    for (int n = 0; n < texts.size(); ++n) {
        Selection s = Selection::make(sel(n), texts[n], std::nullopt, n < 2 ? u"Chromium"_qs : u"Firefox"_qs);
        if (n < 4)
            s.sourceURL = u"https://example.org/page"_qs;
        else if (n < 6)
            s.filePath = u"/home/user/report.md"_qs;
        else
            s.appName = u"Terminal"_qs;
        if (n == 1 || n == 4 || n == 7)
            s.groupIDs = {grp(0)};
        s.createdAt = LibraryFixtures::time(100 - n); // store order: newest first
        snapshot.selections.append(s);
    }
    snapshot.groups.append(SelectionGroup {grp(0), u"Research"_qs, u"#3366CC"_qs, LibraryFixtures::time(0)});
    return snapshot;
}

QList<QUuid> rows(const ContentView& view)
{
    QList<QUuid> ids;
    for (int row = 0; row < view.visibleSelections().rowCount(); ++row)
        ids.append(view.visibleSelections().idAt(row));
    return ids;
}

} // namespace

class TestContentView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void freshWindow();
    void visibleList_data();
    void visibleList();
    void sourceChoiceSurvivesAnotherApplicationsCapture();
    void sort();
    void selectionBinding();
    void shiftClickKeepsControlClickedRows();
    void pressOnUnselectedRowWaitsForRelease();
    void dragPayloads();
    void doubleClickCopies();
    void narrowingSearchMovesInspection();
    void storeChangesKeepSelectionAndScroll();
    void notifications();
    void draftsAndTitle();
    void titleNamesTheWindow();
    void welcomeRule();
    void layoutPanes();
    void revealShowsTheStoresOwnFile();
    void renderForReview();

private:
    ContentView& openView(const StoreSnapshot& snapshot = fixture());
    QPoint rowCenter(int row) const
    {
        return view->list().visualRect(view->visibleSelections().index(row, 0)).center();
    }
    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(view->list().viewport(), Qt::LeftButton, modifiers, rowCenter(row));
    }
    void sendMouse(QEvent::Type type, const QPoint& pos, Qt::MouseButtons buttons)
    {
        QWidget* viewport = view->list().viewport();
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }

    std::unique_ptr<StoreHarness> h;
    MemoryPasteboard pasteboard;
    MemoryWorkspace workspace;
    LibraryEnvironment environment;
    std::unique_ptr<ContentView> view;
    QStringList drags;
};

void TestContentView::init()
{
    ReduceMotion::setOn(true);
    h = std::make_unique<StoreHarness>();
    pasteboard.replaceContent({});
    workspace.revealedFiles.clear();
    environment = LibraryEnvironment {};
    environment.pasteboard = &pasteboard;
    environment.workspace = &workspace;
    environment.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    environment.timeZone = QTimeZone::utc();
    environment.relativeDateReference = LibraryFixtures::time(120);
    drags.clear();
}

void TestContentView::cleanup()
{
    view.reset();
    h.reset();
    ReduceMotion::setOn(false);
}

ContentView& TestContentView::openView(const StoreSnapshot& snapshot)
{
    h->writeLibrary(snapshot);
    h->open();
    view = std::make_unique<ContentView>(*h->store, environment);
    view->list().setDragRunner([this](std::unique_ptr<QMimeData> data) {
        drags.append(data->text());
        return Qt::CopyAction;
    });
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(1120, 660);
    view->show();
    QApplication::processEvents();
    return *view;
}

void TestContentView::freshWindow()
{
    h->open();
    ContentView fresh(*h->store, environment);
    QCOMPARE(fresh.sidebarSelection(), std::optional(SidebarItem::allSelections()));
    QVERIFY(!fresh.isComposing());
    QCOMPARE(fresh.titleText(), u"Tessellon"_qs);
    QCOMPARE(fresh.searchField().placeholderText(), u"Search all selections"_qs);
    fresh.setAttribute(Qt::WA_DontShowOnScreen);
    fresh.show();
    QCOMPARE(fresh.sidebarSelection(), std::optional(SidebarItem::allSelections()));
}

void TestContentView::visibleList_data()
{
    QTest::addColumn<int>("choice"); // 0 all, 1 group, 2 source (address), 3 source (application)
    QTest::addColumn<QString>("search");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<bool>("filtering");
    QTest::newRow("all") << 0 << QString() << QList<int> {0, 1, 2, 3, 4, 5, 6, 7} << false;
    QTest::newRow("spaces do not filter") << 0 << u"   "_qs << QList<int> {0, 1, 2, 3, 4, 5, 6, 7} << false;
    QTest::newRow("search, case ignored") << 0 << u" PASSAGE "_qs << QList<int> {4, 5} << true;
    QTest::newRow("group keeps store order") << 1 << QString() << QList<int> {1, 4, 7} << true;
    QTest::newRow("group then search") << 1 << u"output"_qs << QList<int> {7} << true;
    QTest::newRow("source by address, any application") << 2 << QString() << QList<int> {0, 1, 2, 3} << true;
    QTest::newRow("source by application") << 3 << QString() << QList<int> {6, 7} << true;
}

void TestContentView::visibleList()
{
    QFETCH(int, choice);
    QFETCH(QString, search);
    QFETCH(QList<int>, expected);
    QFETCH(bool, filtering);
    ContentView& v = openView();
    const QList<Selection>& all = h->store->selections();
    switch (choice) {
    case 1: v.setSidebarSelection(SidebarItem::group(grp(0))); break;
    case 2: v.setSidebarSelection(SidebarItem::source(SourceIdentity::from(all[2]))); break;
    case 3: v.setSidebarSelection(SidebarItem::source(SourceIdentity::from(all[6]))); break;
    default: break;
    }
    v.searchField().setText(search);
    QList<QUuid> ids;
    for (int n : expected)
        ids.append(sel(n));
    QCOMPARE(rows(v), ids);
    QCOMPARE(v.isFiltering(), filtering);
    QCOMPARE(v.searchText(), search); // as typed, spaces included
}

void TestContentView::sourceChoiceSurvivesAnotherApplicationsCapture()
{
    ContentView& v = openView();
    // Chosen from the row that named the address with Firefox.
    const SourceIdentity firefox = SourceIdentity::from(*h->store->findByID(sel(2)));
    v.setSidebarSelection(SidebarItem::source(firefox));
    QSignalSpy changed(&v, &ContentView::sidebarSelectionChanged);
    // The sidebar now names the source after the Chromium capture; choosing that row again is the
    // same choice and does not re-filter.
    const SourceIdentity chromium = SourceIdentity::from(*h->store->findByID(sel(0)));
    QVERIFY(!(firefox == chromium));
    v.setSidebarSelection(SidebarItem::source(chromium));
    QCOMPARE(changed.size(), 0);
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::source(chromium)));
    QCOMPARE(rows(v).size(), 4);
}

void TestContentView::sort()
{
    ContentView& v = openView();
    v.setSortMode(SortMode::oldestFirst);
    QCOMPARE(rows(v), (QList<QUuid> {sel(7), sel(6), sel(5), sel(4), sel(3), sel(2), sel(1), sel(0)}));
    v.setSortMode(SortMode::byApp);
    // Chromium, Firefox, Terminal; newest first within each.
    QCOMPARE(rows(v), (QList<QUuid> {sel(0), sel(1), sel(2), sel(3), sel(4), sel(5), sel(6), sel(7)}));
    v.setSortMode(SortMode::bySource);
    // "/home/…" before "https://…" before "Terminal".
    QCOMPARE(rows(v), (QList<QUuid> {sel(4), sel(5), sel(0), sel(1), sel(2), sel(3), sel(6), sel(7)}));
}

void TestContentView::selectionBinding()
{
    ContentView& v = openView();
    LibrarySelectionState& state = v.selectionState();
    click(0);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(0)}));
    QCOMPARE(state.detailSelectionID(), std::optional(sel(0)));
    QCOMPARE(v.detailContent(), ContentView::DetailContent::detail);

    click(2, Qt::ControlModifier);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(0), sel(2)}));
    QCOMPARE(state.detailSelectionID(), std::optional(sel(2)));

    // Shift extends from the last clicked row; the earlier selection stays. One of the newly
    // added rows is inspected.
    click(6, Qt::ShiftModifier);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(0), sel(2), sel(3), sel(4), sel(5), sel(6)}));
    QVERIFY((IdSet {sel(3), sel(4), sel(5), sel(6)}).contains(*state.detailSelectionID()));

    // Taking one row out adds nothing: the inspection goes to one of the rest.
    click(4, Qt::ControlModifier);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(0), sel(2), sel(3), sel(5), sel(6)}));
    QVERIFY(state.selectedIDs().contains(*state.detailSelectionID()));

    // A plain click on a selected row selects it alone and inspects it.
    click(5);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(5)}));
    QCOMPARE(state.detailSelectionID(), std::optional(sel(5)));

    // Select all, then deselect everything.
    v.list().selectAll();
    QCOMPARE(state.selectedIDs().size(), 8);
    v.list().clearSelection();
    QVERIFY(state.selectedIDs().isEmpty());
    QCOMPARE(state.detailSelectionID(), std::nullopt);

    // A selection set from outside shows in the list.
    state.set({sel(1), sel(7)}, sel(7));
    QCOMPARE(v.list().selectionModel()->selectedRows().size(), 2);
    QVERIFY(v.list().selectionModel()->isSelected(v.visibleSelections().index(7, 0)));
}

void TestContentView::shiftClickKeepsControlClickedRows()
{
    // The selected set iterates in its hash's order. With a fixed seed and identifiers whose
    // hashes fall in the reverse of the rows' order, that order is never the list's.
    QHashSeed::setDeterministicGlobalSeed();
    const auto randomSeed = qScopeGuard([] { QHashSeed::resetRandomGlobalSeed(); });
    StoreSnapshot snapshot;
    QList<QUuid> ids;
    for (int n = 0; n < 6; ++n) {
        ids.append(QUuid(uint(0x20000000 + 5 - n), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
        Selection s = Selection::make(ids[n], u"Row %1"_s.arg(n), std::nullopt, u"Kate"_s);
        s.createdAt = LibraryFixtures::time(100 - n);
        snapshot.selections.append(s);
    }
    ContentView& v = openView(snapshot);
    QCOMPARE(rows(v), ids);
    click(0);
    click(1, Qt::ControlModifier);
    click(3, Qt::ControlModifier);
    click(5, Qt::ShiftModifier);
    QCOMPARE(v.selectionState().selectedIDs(), (IdSet {ids[0], ids[1], ids[3], ids[4], ids[5]}));
}

void TestContentView::pressOnUnselectedRowWaitsForRelease()
{
    ContentView& v = openView();
    LibrarySelectionState& state = v.selectionState();
    click(0);
    click(1, Qt::ControlModifier);
    QSignalSpy written(&state, &LibrarySelectionState::selectedIDsChanged);
    sendMouse(QEvent::MouseButtonPress, rowCenter(3), Qt::LeftButton);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(0), sel(1)}));
    QCOMPARE(written.size(), 0);
    sendMouse(QEvent::MouseButtonRelease, rowCenter(3), Qt::NoButton);
    QCOMPARE(state.selectedIDs(), (IdSet {sel(3)}));
    QCOMPARE(state.detailSelectionID(), std::optional(sel(3)));
}

void TestContentView::dragPayloads()
{
    ContentView& v = openView();
    LibrarySelectionState& state = v.selectionState();
    click(0);
    click(1, Qt::ControlModifier);
    click(2, Qt::ControlModifier);
    const IdSet three {sel(0), sel(1), sel(2)};
    const int distance = QApplication::startDragDistance() + 5;

    // A row of the selection carries the whole selection.
    sendMouse(QEvent::MouseButtonPress, rowCenter(1), Qt::LeftButton);
    sendMouse(QEvent::MouseMove, rowCenter(1) + QPoint(distance, 0), Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, rowCenter(1) + QPoint(distance, 0), Qt::NoButton);
    QCOMPARE(drags.size(), 1);
    QCOMPARE(drags[0], SelectionDragIDs::encode(three));
    QCOMPARE(SelectionDragIDs::ids(drags[0]), std::optional(three));
    QCOMPARE(state.selectedIDs(), three);

    // A row outside it carries itself and leaves the selection alone, before and after release.
    sendMouse(QEvent::MouseButtonPress, rowCenter(5), Qt::LeftButton);
    sendMouse(QEvent::MouseMove, rowCenter(5) + QPoint(0, distance), Qt::LeftButton);
    QCOMPARE(drags.size(), 2);
    QCOMPARE(SelectionDragIDs::ids(drags[1]), std::optional(IdSet {sel(5)}));
    sendMouse(QEvent::MouseButtonRelease, rowCenter(5) + QPoint(0, distance), Qt::NoButton);
    QCOMPARE(state.selectedIDs(), three);

    // The data offers plain text only.
    const std::unique_ptr<QMimeData> data = v.list().dragData(4);
    QCOMPARE(data->formats(), QStringList {u"text/plain"_qs});
    QCOMPARE(data->text(), u"tessellonsel:"_qs + LibraryFixtures::id(1, 4).toString(QUuid::WithoutBraces).toUpper());
}

void TestContentView::doubleClickCopies()
{
    ContentView& v = openView();
    click(3);
    QTest::mouseDClick(v.list().viewport(), Qt::LeftButton, {}, rowCenter(3));
    QCOMPARE(pasteboard.string(PasteboardType::plainText), std::optional(u"Delta prompt layout"_qs));
    QVERIFY(v.list().copiedFlash().isShown(sel(3)));
    QCOMPARE(v.selectionState().detailSelectionID(), std::optional(sel(3)));
}

void TestContentView::narrowingSearchMovesInspection()
{
    ContentView& v = openView();
    LibrarySelectionState& state = v.selectionState();
    state.set({sel(4), sel(6), sel(7)}, sel(4));
    v.searchField().setText(u"output"_qs); // 6 and 7 stay
    QCOMPARE(state.selectedIDs(), (IdSet {sel(6), sel(7)}));
    QVERIFY(state.detailSelectionID() == sel(6) || state.detailSelectionID() == sel(7));
    v.searchField().setText(u"nothing matches this"_qs);
    QVERIFY(state.selectedIDs().isEmpty());
    QCOMPARE(state.detailSelectionID(), std::nullopt);
    QCOMPARE(v.libraryContent(), ContentView::LibraryContent::emptyState);
}

void TestContentView::storeChangesKeepSelectionAndScroll()
{
    StoreSnapshot big = fixture();
    for (int n = 8; n < 300; ++n) {
        Selection s = big.selections[n % 8];
        s.id = sel(n);
        s.createdAt = LibraryFixtures::time(-n);
        big.selections.append(s);
    }
    ContentView& v = openView(big);
    LibrarySelectionList& list = v.list();
    list.scrollTo(v.visibleSelections().index(150, 0), QAbstractItemView::PositionAtTop);
    click(152);
    click(154, Qt::ControlModifier);
    const IdSet selected {sel(152), sel(154)};
    const QModelIndex top = list.indexAt(QPoint(5, 5));
    const QUuid topID = v.visibleSelections().idAt(top.row());

    // A capture inserts a row above: the same rows stay selected, current and at the top.
    h->store->add(Selection::make(QUuid::createUuid(), u"New capture"_qs, std::nullopt, u"Notes"_qs,
        std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, LibraryFixtures::time(500)));
    QApplication::processEvents();
    QCOMPARE(v.selectionState().selectedIDs(), selected);
    QCOMPARE(v.visibleSelections().idAt(list.currentIndex().row()), sel(154));
    QCOMPARE(v.visibleSelections().idAt(list.indexAt(QPoint(5, 5)).row()), topID);

    // A draft edit does not touch the list.
    QSignalSpy layout(&v.visibleSelections(), &QAbstractItemModel::layoutChanged);
    QSignalSpy removed(&v.visibleSelections(), &QAbstractItemModel::rowsRemoved);
    ContextDraft draft = h->store->ensureActiveDraft();
    draft.task = u"Summarize"_qs;
    h->store->updateDraft(draft);
    QCOMPARE(layout.size() + removed.size(), 0);

    // A delete elsewhere and a re-sort keep the selection.
    h->store->deleteSelection(sel(10));
    QCOMPARE(v.selectionState().selectedIDs(), selected);
    v.setSortMode(SortMode::oldestFirst);
    QCOMPARE(v.selectionState().selectedIDs(), selected);
    QCOMPARE(v.visibleSelections().idAt(list.currentIndex().row()), sel(154));
    QCOMPARE(list.selectionModel()->selectedRows().size(), 2);
}

void TestContentView::notifications()
{
    ContentView& v = openView();
    WindowNotifications& post = *v.environment().notifications;
    QSignalSpy sheet(&v, &ContentView::newGroupSheetRequested);

    const Selection s = *h->store->findByID(sel(3));
    v.setNewGroupName(u"left over"_qs);
    post.postRequestNewGroup(s);
    QCOMPARE(sheet.size(), 1);
    QVERIFY(v.showNewGroupSheet());
    QCOMPARE(v.newGroupName(), QString());
    QCOMPARE(v.groupPendingSelection(), std::optional(s));
    post.postRequestNewGroup(std::nullopt);
    QCOMPARE(v.groupPendingSelection(), std::nullopt);

    post.postNewPrompt();
    QCOMPARE(h->store->drafts().size(), 1);
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::draft(h->store->drafts()[0].id)));
    QCOMPARE(v.titleText(), u"Tessellon \u2014 Prompt 1"_qs);

    // Focus search while composing goes back to all selections; with a group it stays.
    post.postFocusSearch();
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::allSelections()));
    QCOMPARE(v.focusWidget(), &v.searchField());
    v.setSidebarSelection(SidebarItem::group(grp(0)));
    post.postFocusSearch();
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::group(grp(0))));

    post.postOpenPrompt();
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::prompt()));
    QCOMPARE(h->store->drafts().size(), 1);
}

void TestContentView::draftsAndTitle()
{
    ContentView& v = openView();
    Store& store = *h->store;
    QSignalSpy titles(&v, &ContentView::titleChanged);
    v.openPrompt(); // no draft yet: one is made
    QCOMPARE(store.drafts().size(), 1);
    QCOMPARE(v.titleText(), u"Tessellon \u2014 Prompt 1"_qs);
    QCOMPARE(v.windowTitle(), v.titleText());
    v.newPrompt();
    const QUuid second = store.drafts()[1].id;
    QCOMPARE(v.titleText(), u"Tessellon \u2014 Prompt 2"_qs);
    QCOMPARE(v.composeDraftID(), std::optional(second));
    QVERIFY(titles.size() >= 2);

    // Deleting another draft leaves the choice; deleting the shown one goes to the prompt item.
    v.deleteDraft(store.drafts()[0].id);
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::draft(second)));
    v.deleteDraft(second);
    QCOMPARE(v.sidebarSelection(), std::optional(SidebarItem::prompt()));
    QCOMPARE(v.titleText(), u"Tessellon"_qs);
    QCOMPARE(v.composeDraftID(), std::nullopt);

    // A chosen draft that is gone falls back to the active draft's name.
    v.newPrompt();
    const QUuid third = store.drafts()[0].id;
    v.setSidebarSelection(SidebarItem::draft(QUuid::createUuid()));
    QCOMPARE(v.titleText(), u"Tessellon \u2014 "_qs + store.findDraft(third)->name);
    QCOMPARE(v.composeDraftID(), std::nullopt);
}

void TestContentView::titleNamesTheWindow()
{
    // Placed in a main window, as the program does: the title is that window's.
    h->open();
    QMainWindow host;
    host.setWindowTitle(u"Untitled"_qs);
    auto* hosted = new ContentView(*h->store, environment, &host);
    host.setCentralWidget(hosted);
    QCOMPARE(host.windowTitle(), u"Tessellon"_qs);
    hosted->openPrompt();
    QCOMPARE(host.windowTitle(), u"Tessellon \u2014 Prompt 1"_qs);
    hosted->setSidebarSelection(SidebarItem::allSelections());
    QCOMPARE(host.windowTitle(), u"Tessellon"_qs);

    // A view built first and placed afterwards brings its title along.
    hosted->openPrompt();
    QMainWindow later;
    later.setCentralWidget(hosted);
    QCOMPARE(later.windowTitle(), u"Tessellon \u2014 Prompt 1"_qs);
}

void TestContentView::welcomeRule()
{
    // Empty and modifiable: each time the view is put on screen.
    h->open();
    ContentView empty(*h->store, environment);
    empty.setAttribute(Qt::WA_DontShowOnScreen);
    int presented = 0;
    empty.setWelcomePresenter([&] { ++presented; });
    empty.show();
    QCOMPARE(presented, 1);
    QVERIFY(empty.showWelcome());
    empty.welcomeDismissed();
    empty.hide();
    empty.show();
    QCOMPARE(presented, 2);

    // With selections: never.
    ContentView& full = openView();
    QVERIFY(!full.showWelcome());

    // Unmodifiable and empty: never.
    QVERIFY(LibraryFixtures::writeFile(h->path(), "{\"version\": 999}"));
    QVERIFY(LibraryFixtures::writeFile(h->backupPath(), "{\"version\": 999}"));
    view.reset();
    h->open();
    ContentView locked(*h->store, environment);
    locked.setAttribute(Qt::WA_DontShowOnScreen);
    QSignalSpy welcome(&locked, &ContentView::welcomeRequested);
    locked.show();
    QCOMPARE(welcome.size(), 0);
}

void TestContentView::layoutPanes()
{
    ContentView& v = openView();
    auto* banner = new QWidget;
    auto* composeBanner = new QWidget;
    v.setPersistenceBanners(banner, composeBanner);
    QCOMPARE(v.libraryContent(), ContentView::LibraryContent::list);
    QVERIFY(!v.persistenceBannerShown());
    QVERIFY(!v.permissionBannerShown());

    // An inspected selection shows the detail view once one is placed; deleting it shows the
    // placeholder.
    auto* detail = new QWidget;
    v.setDetailView(detail);
    click(2);
    QCOMPARE(v.detailContent(), ContentView::DetailContent::detail);
    QVERIFY(detail->isVisible());
    h->store->deleteSelection(sel(2));
    QCOMPARE(v.detailContent(), ContentView::DetailContent::placeholder);

    // The compose layout without a composer shows the no-prompt placeholder.
    v.setSidebarSelection(SidebarItem::prompt());
    QVERIFY(v.isComposing());
    auto* compose = new QWidget;
    v.setComposeView(compose);
    QVERIFY(!compose->isVisible()); // no draft yet
    v.newPrompt();
    QVERIFY(compose->isVisible());

    // A library that cannot be opened: the unavailable view, no banner above it, an empty detail.
    QVERIFY(LibraryFixtures::writeFile(h->path(), "{\"version\": 999}"));
    QVERIFY(LibraryFixtures::writeFile(h->backupPath(), "{\"version\": 999}"));
    view.reset();
    h->open();
    ContentView locked(*h->store, environment);
    QCOMPARE(locked.libraryContent(), ContentView::LibraryContent::unavailable);
    QVERIFY(!locked.persistenceBannerShown());
    QCOMPARE(locked.detailContent(), ContentView::DetailContent::empty);
    QVERIFY(!locked.permissionBannerShown());
    // Nothing new while locked.
    locked.newPrompt();
    locked.openPrompt();
    QVERIFY(h->store->drafts().isEmpty());
    QCOMPARE(locked.sidebarSelection(), std::optional(SidebarItem::allSelections()));
}

void TestContentView::revealShowsTheStoresOwnFile()
{
    openView();
    view->revealLibraryFolder();
    QCOMPARE(workspace.revealedFiles, QStringList {h->path()});
    environment.workspace = nullptr;
    ContentView noShell(*h->store, environment);
    noShell.revealLibraryFolder();
    QCOMPARE(workspace.revealedFiles.size(), 1);
}

void TestContentView::renderForReview()
{
    // The full window with its views is rendered by the views' test; here the no-prompt state.
    ContentView& v = openView();
    v.setSidebarSelection(SidebarItem::prompt());
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(v, QSize(1120, 660)), u"compose-no-prompt.png"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestContentView)
#include "tst_ContentView.moc"
