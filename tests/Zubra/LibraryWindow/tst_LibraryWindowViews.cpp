#include "../WidgetText.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibraryToolbar.h"
#include "Zubra/LibraryWindow/LibraryWindowViews.h"
#include "Zubra/LibraryWindow/NamingSheetPresenter.h"
#include "Zubra/LibraryWindow/SelectionDetailView.h"
#include "Zubra/LibraryWindow/SidebarSectionList.h"
#include "Zubra/LibraryWindow/SidebarView.h"
#include "Zubra/LibraryWindow/StatusViews.h"
#include "Zubra/Widgets/FocusRing.h"
#include "Zubra/Widgets/ShellActions.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTest>
#include <QToolButton>

using WidgetText::plainOf;

namespace {

// A shell that records what the windows ask of it.
class RecordingShell final : public ShellActions
{
public:
    void captureNow() override { ++captures; }
    void openAccessibilitySettings() override
    {
        ++accessibilityRequests;
        trusted = trusted || turnOnTrusts;
    }
    bool isTrusted() override { return trusted; }
    QString hotkeyDisplay() override { return u"Ctrl+Alt+Super+C"_qs; }
    void watchTrust(QObject*, std::function<void()> changed) override { trustChanged = std::move(changed); }

    std::function<void()> trustChanged; // the desktop's switch, as the window hears of it
    bool turnOnTrusts = false; // the banner's button succeeds
    int captures = 0;
    int accessibilityRequests = 0;
    bool trusted = true;
};

} // namespace

class TestLibraryWindowViews : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sidebarChoiceBothWays();
    void newGroupFromTheSidebarShowsTheGroup();
    void deletingTheShownGroupShowsEverything();
    void toolbarItems();
    void toolbarCommands();
    void bannerTexts_data();
    void bannerTexts();
    void bannerTimers();
    void detailFollowsTheInspectedSelection();
    void emptyStateFollowsTheWindow();
    void unreadableLibrary();
    void deleteKeyDeletesSelectedRows();
    void keyboardReachesEveryControl();
    void permissionBannerFollowsTrust_data();
    void permissionBannerFollowsTrust();
    void permissionBannerLeavesTheFocusWhereItWas_data();
    void permissionBannerLeavesTheFocusWhereItWas();
    void searchFieldUnfocusedAtLaunch();
    void keyboardHabits();
    void copyCommandCopiesSelectedRows();
    void snapshot();

private:
    Selection add(const QString& text, const std::optional<QString>& url, int minute);
    void open();
    bool openActive();

    std::unique_ptr<StoreHarness> m_harness;
    Store* m_store = nullptr;
    MemoryPasteboard m_pasteboard;
    MemoryWorkspace m_workspace;
    RecordingShell m_shell;
    LibraryEnvironment m_environment;
    std::unique_ptr<ContentView> m_window;
    LibraryWindowViews* m_views = nullptr;
};

void TestLibraryWindowViews::init()
{
    m_harness = std::make_unique<StoreHarness>();
    m_store = &m_harness->open();
    m_pasteboard = MemoryPasteboard();
    m_workspace = MemoryWorkspace();
    m_shell = RecordingShell();
    m_environment = LibraryEnvironment();
    m_environment.pasteboard = &m_pasteboard;
    m_environment.workspace = &m_workspace;
    m_environment.shell = &m_shell;
    m_environment.icon = [](const Selection&) { return QIcon(); };
    m_environment.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    m_environment.timeZone = QTimeZone::utc();
}

void TestLibraryWindowViews::cleanup()
{
    m_views = nullptr;
    m_window.reset();
    m_store = nullptr;
    m_harness.reset();
}

void TestLibraryWindowViews::open()
{
    m_window = std::make_unique<ContentView>(*m_store, m_environment);
    m_views = new LibraryWindowViews(*m_window);
    WidgetSnapshot::render(*m_window, QSize(1120, 660));
}

// Shown on screen and active, as at launch; false when the window never became active.
bool TestLibraryWindowViews::openActive()
{
    m_window = std::make_unique<ContentView>(*m_store, m_environment);
    m_views = new LibraryWindowViews(*m_window);
    m_window->resize(1120, 660);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    return QTest::qWaitForWindowActive(m_window.get());
}

Selection TestLibraryWindowViews::add(const QString& text, const std::optional<QString>& url, int minute)
{
    const Selection selection = Selection::make(QUuid::createUuid(), text, std::nullopt, u"Firefox"_qs, std::nullopt,
        url, std::nullopt, std::nullopt, {}, QDateTime(QDate(2025, 3, 14), QTime(10, minute), Qt::UTC));
    m_store->add(selection);
    return selection;
}

void TestLibraryWindowViews::sidebarChoiceBothWays()
{
    add(u"a"_qs, u"https://moon.example/"_qs, 1);
    const SelectionGroup group = *m_store->addGroup(u"G"_qs, u"#FF0000"_qs);
    open();
    SidebarView& sidebar = m_views->sidebar();
    emit sidebar.chosen(SidebarItem::group(group.id));
    QVERIFY(m_window->sidebarSelection() == SidebarItem::group(group.id));
    m_window->setSidebarSelection(SidebarItem::allSelections());
    QVERIFY(sidebar.selection() == SidebarItem::allSelections());
    m_window->newPrompt();
    QCOMPARE(sidebar.selection()->kind(), SidebarItem::Kind::draft);
}

void TestLibraryWindowViews::newGroupFromTheSidebarShowsTheGroup()
{
    open();
    for (QPushButton* button : m_views->sidebar().findChildren<QPushButton*>()) {
        if (button->text() == u"New Group\u2026"_qs)
            button->click();
    }
    NameSheet* sheet = m_views->sheets().newGroupSheet();
    QVERIFY(sheet);
    sheet->field()->insert(u"Fresh\n"_qs);
    sheet->actionButton()->click();
    QCOMPARE(m_store->groups().size(), 1);
    QCOMPARE(m_store->groups().first().name, u"Fresh"_qs);
    QVERIFY(m_window->sidebarSelection() == SidebarItem::group(m_store->groups().first().id));
    QVERIFY(!m_window->showNewGroupSheet());
}

void TestLibraryWindowViews::deletingTheShownGroupShowsEverything()
{
    const SelectionGroup shown = *m_store->addGroup(u"Shown"_qs, u"#FF0000"_qs);
    const SelectionGroup other = *m_store->addGroup(u"Other"_qs, u"#00FF00"_qs);
    open();
    m_window->setSidebarSelection(SidebarItem::group(shown.id));
    m_window->deleteGroupRequested(other);
    m_views->sheets().deleteGroupAndClose(other);
    QVERIFY(m_window->sidebarSelection() == SidebarItem::group(shown.id));
    m_window->deleteGroupRequested(shown);
    QVERIFY(m_views->sheets().deleteAlert());
    m_views->sheets().deleteGroupAndClose(shown);
    QVERIFY(m_window->sidebarSelection() == SidebarItem::allSelections());
    QVERIFY(!m_window->groupPendingDeletion());
}

void TestLibraryWindowViews::toolbarItems()
{
    const Selection a = add(u"a"_qs, std::nullopt, 1);
    const SelectionGroup group = *m_store->createGroup(u"Reading"_qs, u"#FF0000"_qs, {a.id});
    open();
    LibraryToolbar& toolbar = m_views->toolbar();
    QCOMPARE(toolbar.itemTitles(), (QStringList {u"Capture Selection"_qs, u"Sort"_qs}));
    m_window->setSidebarSelection(SidebarItem::group(group.id));
    QCOMPARE(toolbar.itemTitles(), (QStringList {u"Capture Selection"_qs, u"Select All"_qs,
                                       u"Add Collection to Prompt"_qs, u"Copy Collection"_qs, u"Sort"_qs}));
    m_window->selectionState().set({a.id}, a.id);
    QCOMPARE(toolbar.itemTitles(),
        (QStringList {u"Capture Selection"_qs, u"Select All"_qs, u"Add Collection to Prompt"_qs, u"Copy Collection"_qs,
            u"Add to Prompt"_qs, u"Add to Group"_qs, u"Copy"_qs, u"Delete"_qs, u"Sort"_qs}));
    m_window->newPrompt();
    QCOMPARE(toolbar.itemTitles(), QStringList {u"Capture Selection"_qs});
    toolbar.actions().first()->trigger();
    QCOMPARE(m_shell.captures, 1);
}

void TestLibraryWindowViews::toolbarCommands()
{
    const Selection older = add(u"older"_qs, std::nullopt, 1);
    const Selection newer = add(u"newer"_qs, std::nullopt, 2);
    const Selection hidden = add(u"hidden match"_qs, std::nullopt, 3);
    const SelectionGroup group = *m_store->createGroup(u"Both"_qs, u"#FF0000"_qs, {older.id, newer.id, hidden.id});
    open();
    LibraryToolbar& toolbar = m_views->toolbar();

    // Select All on a group whose members are partly hidden by the search.
    m_window->setSidebarSelection(SidebarItem::group(group.id));
    m_window->setSearchText(u"er"_qs);
    toolbar.selectAllInCollection(group.id);
    QCOMPARE(m_window->selectionState().selectedIDs(), (QSet<QUuid> {older.id, newer.id, hidden.id}));
    QCOMPARE(m_window->selectionState().detailSelectionID(), std::optional<QUuid>(newer.id));

    // Copies leave out what the filter hides.
    m_window->setSearchText(u"older"_qs);
    m_window->selectionState().set({older.id, newer.id}, older.id);
    toolbar.copySelectedPlain();
    QCOMPARE(plainOf(m_pasteboard), u"older"_qs);
    m_window->setSearchText({});
    m_window->selectionState().set({older.id, newer.id}, older.id);
    toolbar.copySelectedPlain();
    QCOMPARE(plainOf(m_pasteboard), u"newer\n\n---\n\nolder"_qs);
    toolbar.copyCollectionPlain(group.id);
    QCOMPARE(plainOf(m_pasteboard), u"hidden match\n\n---\n\nnewer\n\n---\n\nolder"_qs);

    // New group from the selected rows holds exactly those.
    toolbar.newGroupWithSelected();
    m_views->sheets().newGroupSheet()->field()->insert(u"Pair"_qs);
    m_views->sheets().newGroupSheet()->actionButton()->click();
    const SelectionGroup pair = m_store->groups().last();
    QCOMPARE(m_store->selectionsIn(pair.id).size(), 2);
    QVERIFY(m_window->sidebarSelection() == SidebarItem::group(pair.id));

    // Add to prompt flashes the banner; new prompt from the selection opens it.
    m_window->selectionState().set({older.id}, older.id);
    toolbar.addSelectedToPrompt();
    QVERIFY(m_views->banner().isShown());
    QCOMPARE(m_views->banner().text(), u"Added 1 of 1 selection to the prompt"_qs);
    m_window->selectionState().set({older.id, newer.id}, older.id);
    toolbar.newPromptWithSelection();
    QCOMPARE(m_window->sidebarSelection()->kind(), SidebarItem::Kind::draft);
    QCOMPARE(m_store->activeDraft()->entries.size(), 2);
    QVERIFY(m_window->selectionState().selectedIDs().isEmpty());

    // Delete removes the selected and inspects the first remaining row.
    m_window->setSidebarSelection(SidebarItem::allSelections());
    m_window->selectionState().set({newer.id, hidden.id}, newer.id);
    toolbar.deleteSelected();
    QCOMPARE(m_store->selections().size(), 1);
    QCOMPARE(m_window->selectionState().detailSelectionID(), std::optional<QUuid>(older.id));
}

void TestLibraryWindowViews::bannerTexts_data()
{
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << 0 << 1 << u"Already in the prompt"_qs;
    QTest::newRow("one of one") << 1 << 1 << u"Added 1 of 1 selection to the prompt"_qs;
    QTest::newRow("plural follows total") << 1 << 3 << u"Added 1 of 3 selections to the prompt"_qs;
    QTest::newRow("two of three") << 2 << 3 << u"Added 2 of 3 selections to the prompt"_qs;
}

void TestLibraryWindowViews::bannerTexts()
{
    QFETCH(int, added);
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(AddToPromptBanner::textFor(added, total), text);
}

void TestLibraryWindowViews::bannerTimers()
{
    QWidget column;
    column.resize(400, 300);
    AddToPromptBanner banner(&column);
    banner.flash(1, 1);
    QTest::qWait(1000);
    banner.flash(0, 1);
    QCOMPARE(banner.text(), u"Already in the prompt"_qs);
    QVERIFY(banner.isShown());
    // The first flash's timer hides the second banner.
    QTRY_VERIFY_WITH_TIMEOUT(!banner.isShown(), 2000);
    QCOMPARE(banner.text(), u"Already in the prompt"_qs);
}

void TestLibraryWindowViews::detailFollowsTheInspectedSelection()
{
    const Selection a = add(u"first"_qs, u"https://moon.example/"_qs, 1);
    const Selection b = add(u"second"_qs, std::nullopt, 2);
    open();
    m_window->selectionState().set({a.id}, a.id);
    QCOMPARE(m_views->detail().selection()->id, a.id);
    m_window->selectionState().set({b.id}, b.id);
    QCOMPARE(m_views->detail().selection()->id, b.id);
    QMenu more;
    m_views->detail().fillMoreMenu(more);
    more.actions().last()->trigger(); // "Delete"
    QVERIFY(!m_store->findByID(b.id));
}

void TestLibraryWindowViews::emptyStateFollowsTheWindow()
{
    m_shell.trusted = false;
    open();
    QCOMPARE(m_views->emptyState().content().title, u"Welcome to Tessellon"_qs);
    m_window->setSearchText(u"  moon "_qs);
    QCOMPARE(m_views->emptyState().content().subtitle, u"No captures match \u201Cmoon\u201D."_qs);
    m_shell.trusted = true;
    m_window->setSearchText({});
    QCOMPARE(m_views->emptyState().content().title, u"Nothing Here Yet"_qs);
}

void TestLibraryWindowViews::unreadableLibrary()
{
    QVERIFY(LibraryFixtures::writeFile(m_harness->path(), "not a library"));
    m_store = &m_harness->open();
    open();
    QCOMPARE(m_window->libraryContent(), ContentView::LibraryContent::unavailable);
    QVERIFY(m_views->unavailable().revealButton());
    QTest::mouseClick(m_views->unavailable().revealButton(), Qt::LeftButton);
    QCOMPARE(m_workspace.revealedFiles, QStringList {m_harness->path()});
    QVERIFY(!m_views->toolbar().actions().first()->isEnabled()); // capture
}

void TestLibraryWindowViews::deleteKeyDeletesSelectedRows()
{
    const Selection a = add(u"a"_qs, std::nullopt, 1);
    const Selection b = add(u"b"_qs, std::nullopt, 2);
    const Selection c = add(u"c"_qs, std::nullopt, 3);
    open();
    QListView& list = m_window->list();
    list.setFocus();
    // Nothing selected: the key does nothing.
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(m_store->selections().size(), 3);
    m_window->selectionState().set({a.id, c.id}, c.id);
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(m_store->selections().size(), 1);
    QCOMPARE(m_store->selections().first().id, b.id);
    QVERIFY(m_window->selectionState().selectedIDs().isEmpty());
}

void TestLibraryWindowViews::permissionBannerFollowsTrust_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the banner's button") << u"button"_qs;
    QTest::newRow("the desktop's switch") << u"switch"_qs;
    QTest::newRow("back to the window") << u"activation"_qs;
}

void TestLibraryWindowViews::permissionBannerFollowsTrust()
{
    QFETCH(QString, how);
    add(u"a"_qs, std::nullopt, 1);
    m_shell.trusted = false;
    m_shell.turnOnTrusts = true;
    QVERIFY(openActive());
    auto* banner = m_window->findChild<PermissionBanner*>();
    QVERIFY(banner);
    QVERIFY(banner->isVisibleTo(m_window.get()));
    if (how == u"button"_qs) {
        banner->findChild<QPushButton*>()->click();
        QCOMPARE(m_shell.accessibilityRequests, 1);
    } else if (how == u"switch"_qs) {
        QVERIFY(m_shell.trustChanged);
        m_shell.trusted = true;
        m_shell.trustChanged();
    } else {
        // Turned on in the desktop's settings, another window; then back here.
        QWidget settings;
        settings.show();
        QApplication::setActiveWindow(&settings);
        QVERIFY(QTest::qWaitForWindowActive(&settings));
        m_shell.trusted = true;
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }
    // At once: no row click or library change needed.
    QVERIFY(!banner->isVisibleTo(m_window.get()));
    // And back when it is turned off again.
    if (how == u"switch"_qs) {
        m_shell.trusted = false;
        m_shell.trustChanged();
        QVERIFY(banner->isVisibleTo(m_window.get()));
    }
}

void TestLibraryWindowViews::permissionBannerLeavesTheFocusWhereItWas_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<bool>("fromDetail"); // the focus came to the button from the detail's "More"
    QTest::newRow("clicked") << false << false;
    QTest::newRow("tabbed to from the list and pressed") << true << false;
    QTest::newRow("tabbed to from the detail and pressed") << true << true;
}

// The list has the focus; the banner's button turns trust on and the banner goes: the focus is
// in the list again, where the banner was, not in the search field, the detail or anywhere else.
void TestLibraryWindowViews::permissionBannerLeavesTheFocusWhereItWas()
{
    QFETCH(bool, byKeyboard);
    QFETCH(bool, fromDetail);
    add(u"a"_qs, std::nullopt, 1);
    add(u"b"_qs, std::nullopt, 2);
    m_shell.trusted = false;
    m_shell.turnOnTrusts = true;
    QVERIFY(openActive());
    auto* banner = m_window->findChild<PermissionBanner*>();
    QVERIFY(banner && banner->isVisibleTo(m_window.get()));
    auto* button = banner->findChild<QPushButton*>();
    m_window->list().setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), &m_window->list());
    if (fromDetail) {
        m_window->selectionState().setDetailSelectionID(m_window->visibleSelections().idAt(0));
        QToolButton* more = nullptr;
        for (auto* candidate : m_views->detail().findChildren<QToolButton*>())
            if (candidate->accessibleName() == u"More"_qs && candidate->isVisibleTo(m_window.get()))
                more = candidate;
        QVERIFY(more);
        more->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), more);
    }
    if (byKeyboard) {
        button->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), button);
        QTest::keyClick(button, Qt::Key_Space);
    } else {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(m_shell.accessibilityRequests, 1);
    QVERIFY(!banner->isVisibleTo(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), &m_window->list());
}

void TestLibraryWindowViews::searchFieldUnfocusedAtLaunch()
{
    add(u"a"_qs, std::nullopt, 1);
    QVERIFY(openActive());
    QVERIFY(QApplication::focusWidget() != &m_window->searchField());
    QVERIFY(!m_window->searchField().hasFocus());
}

void TestLibraryWindowViews::keyboardHabits()
{
    const Selection a = add(u"a"_qs, std::nullopt, 1);
    add(u"b"_qs, std::nullopt, 2);
    QVERIFY(openActive());

    // Down in the search field moves into the results.
    m_window->searchField().setFocus(Qt::TabFocusReason);
    QTest::keyClick(&m_window->searchField(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(&m_window->list()));
    QCOMPARE(m_window->list().currentIndex().row(), 0);

    // Shift+F10 opens the focused row's context menu, as the Menu key does.
    QString opened;
    QTimer::singleShot(100, this, [&opened] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            opened = menu->actions().value(0) ? menu->actions().value(0)->text() : u"(empty)"_qs;
            menu->close();
        }
    });
    QTest::keyClick(&m_window->list(), Qt::Key_F10, Qt::ShiftModifier);
    QCOMPARE(opened, u"Copy as Markdown"_qs);

    // Return on a focused push button presses it.
    QPushButton* newGroup = nullptr;
    for (QPushButton* button : m_views->sidebar().findChildren<QPushButton*>())
        if (button->text() == u"New Group\u2026"_qs)
            newGroup = button;
    QVERIFY(newGroup);
    QSignalSpy requested(m_window.get(), &ContentView::newGroupSheetRequested);
    newGroup->setFocus(Qt::TabFocusReason);
    QTest::keyClick(newGroup, Qt::Key_Return);
    QTRY_COMPARE(requested.size(), 1);
    Q_UNUSED(a);
}

void TestLibraryWindowViews::copyCommandCopiesSelectedRows()
{
    const Selection a = add(u"first text"_qs, std::nullopt, 1);
    const Selection b = add(u"second text"_qs, std::nullopt, 2);
    add(u"third"_qs, std::nullopt, 3);
    open();
    QListView& list = m_window->list();
    list.setFocus();
    m_window->selectionState().set({a.id, b.id}, a.id);
    // The Edit menu's Copy reaches the focused list; rows in list order (newest first), joined as
    // "Copy Plain Text" joins them.
    QVERIFY(list.metaObject()->indexOfMethod("copy()") >= 0);
    QVERIFY(QMetaObject::invokeMethod(&list, "copy"));
    QCOMPARE(m_pasteboard.string(PasteboardType::plainText), std::optional<QString>(u"second text\n\n---\n\nfirst text"_qs));
    m_window->selectionState().set({a.id}, a.id);
    QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(m_pasteboard.string(PasteboardType::plainText), std::optional<QString>(u"first text"_qs));
    QTRY_VERIFY(m_window->list().copiedFlash().isShown(a.id));
}

void TestLibraryWindowViews::keyboardReachesEveryControl()
{
    const Selection a = add(u"a"_qs, u"https://moon.example/"_qs, 1);
    add(u"b"_qs, std::nullopt, 2);
    m_store->addGroup(u"G"_qs, u"#245BD7"_qs);
    m_window = std::make_unique<ContentView>(*m_store, m_environment);
    m_views = new LibraryWindowViews(*m_window);
    m_window->selectionState().set({a.id}, a.id);
    m_window->resize(1120, 660);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    m_window->searchField().setFocus(Qt::TabFocusReason);
    QSet<QWidget*> reached;
    for (int press = 0; press < 60; ++press) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        reached.insert(focus);
        // Every control but a list (whose current row is marked) shows the ring around itself.
        if (!qobject_cast<QAbstractItemView*>(focus)) {
            QCOMPARE(m_window->focusRing().target(), focus);
            const QRect shown(focus->mapTo(m_window.get(), QPoint(0, 0)), focus->size());
            QVERIFY2(m_window->focusRing().geometry().contains(shown.intersected(m_window->rect())),
                focus->metaObject()->className());
        }
        QTest::keyClick(focus, Qt::Key_Tab);
    }

    QStringList missed;
    const auto expect = [&](QWidget* widget, const QString& what) {
        if (!reached.contains(widget))
            missed.append(what);
    };
    expect(&m_window->searchField(), u"search field"_qs);
    expect(&m_window->list(), u"selection list"_qs);
    for (QAction* item : m_views->toolbar().actions())
        expect(m_views->toolbar().widgetForAction(item), u"toolbar: "_qs + item->text());
    for (auto section : {SidebarModel::Section::prompt, SidebarModel::Section::library, SidebarModel::Section::groups,
             SidebarModel::Section::sources}) {
        SidebarSectionList* list = m_views->sidebar().list(section);
        if (list->model()->rowCount(list->rootIndex()) > 0)
            expect(list, u"sidebar section "_qs + QString::number(int(section)));
    }
    for (QPushButton* button : m_views->sidebar().findChildren<QPushButton*>())
        expect(button, u"sidebar: "_qs + button->text());
    for (QToolButton* button : m_views->detail().findChildren<QToolButton*>()) {
        if (button->isVisibleTo(m_window.get()))
            expect(button, u"detail: "_qs + button->accessibleName() + button->text());
    }
    QVERIFY2(missed.isEmpty(), qPrintable(missed.join(u", "_qs)));

    // The toolbar is rebuilt when "Delete" empties the selection: the keyboard stays in it.
    QWidget* deleteButton = nullptr;
    for (QAction* item : m_views->toolbar().actions()) {
        if (item->text() == u"Delete"_qs)
            deleteButton = m_views->toolbar().widgetForAction(item);
    }
    QVERIFY(deleteButton);
    deleteButton->setFocus(Qt::TabFocusReason);
    QTest::keyClick(deleteButton, Qt::Key_Space);
    QApplication::processEvents();
    QCOMPARE(m_store->selections().size(), 1);
    QVERIFY(QApplication::focusWidget());
    QVERIFY(m_views->toolbar().isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(m_window->focusRing().target(), QApplication::focusWidget());

    // A click leaves no ring behind.
    QWidget* capture = m_views->toolbar().widgetForAction(m_views->toolbar().actions().first());
    capture->setFocus(Qt::TabFocusReason);
    QCOMPARE(m_window->focusRing().target(), capture);
    QTest::mouseClick(&m_window->searchField(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), &m_window->searchField());
    QVERIFY(!m_window->focusRing().target());
}

void TestLibraryWindowViews::snapshot()
{
    const Selection a = Selection::make(QUuid::createUuid(), u"The Eagle has landed."_qs,
        u"## Apollo 11\n\nThe **Eagle** has landed. See [NASA](https://www.nasa.gov/).\n\n- one\n- two"_qs,
        u"Firefox"_qs, std::nullopt, u"https://en.wikipedia.org/wiki/Apollo_11"_qs, u"Apollo 11 - Wikipedia"_qs,
        std::nullopt, {}, QDateTime(QDate(2025, 3, 14), QTime(10, 5), Qt::UTC));
    m_store->add(a);
    add(u"Notes on the budget"_qs, std::nullopt, 2);
    m_store->createGroup(u"Reading list"_qs, u"#4F8EF7"_qs, {a.id});
    open();
    m_window->selectionState().set({a.id}, a.id);
    const QImage image = WidgetSnapshot::render(*m_window, QSize(1120, 660));
    QVERIFY(!image.isNull());
    WidgetSnapshot::saveForReview(image, u"library-window.png"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestLibraryWindowViews)
#include "tst_LibraryWindowViews.moc"
