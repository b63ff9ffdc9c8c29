#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/ReduceMotion.h"
#include "Zubra/LibraryWindow/SelectionRowCommands.h"
#include "Zubra/LibraryWindow/WindowNotifications.h"
#include "ZubraCore/Library/SelectionsMarkdown.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"
#include "../WidgetText.h"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using WidgetText::describe;

namespace {

const QString url = u"https://example.com/article?id=1&x=2"_qs;
const QString path = u"/home/user/Reports & Notes/q1.md"_qs;

Selection make(int n, std::optional<QString> address, std::optional<QString> file, const QString& app = u"Firefox"_qs)
{
    return Selection::make(LibraryFixtures::id(1, n), u"Text "_qs + QString::number(n),
        u"**Markdown** "_qs + QString::number(n), app, std::nullopt, address, std::nullopt, file, {},
        LibraryFixtures::time(n));
}

QAction* find(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == text)
            return action;
        if (action->menu()) {
            if (QAction* inner = find(*action->menu(), text))
                return inner;
        }
    }
    return nullptr;
}

} // namespace

class TestSelectionRowCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void menuItems_data();
    void menuItems();
    void copies();
    void addressAndFile();
    void copyAllFromSourceMatchesByIdentifier();
    void groups();
    void addToPromptAndDelete();
    void newGroupAsksTheWindow();
    void commandsStayOfferedOnAnUnmodifiableLibrary();
    void copiedMarkTiming();
    void copiedMarkWithoutMotion();

private:
    std::unique_ptr<StoreHarness> h;
    MemoryPasteboard pasteboard;
    MemoryWorkspace workspace;
    LibraryEnvironment environment;
    std::unique_ptr<CopiedFlash> flash;
    std::unique_ptr<SelectionRowCommands> commands;

    QString plain() { return pasteboard.string(PasteboardType::plainText).value_or(u"<none>"_qs); }
    std::unique_ptr<QMenu> menuFor(const QUuid& id)
    {
        auto menu = std::make_unique<QMenu>();
        commands->fillMenu(*menu, *h->store->findByID(id));
        return menu;
    }
};

void TestSelectionRowCommands::init()
{
    ReduceMotion::setOn(true);
    h = std::make_unique<StoreHarness>();
    h->open();
    pasteboard.replaceContent({});
    workspace.openedAddresses.clear();
    workspace.revealedFiles.clear();
    environment = LibraryEnvironment {};
    environment.pasteboard = &pasteboard;
    environment.workspace = &workspace;
    flash = std::make_unique<CopiedFlash>(nullptr, std::chrono::milliseconds(60));
    commands = std::make_unique<SelectionRowCommands>(*h->store, environment, *flash);
}

void TestSelectionRowCommands::cleanup()
{
    commands.reset();
    flash.reset();
    h.reset();
    ReduceMotion::setOn(false);
}

void TestSelectionRowCommands::menuItems_data()
{
    QTest::addColumn<bool>("withAddress");
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<int>("storeGroups");
    QTest::addColumn<QList<int>>("memberOf"); // indexes of store groups; -1: a deleted group
    QTest::addColumn<QStringList>("expected");
    const QStringList head {u"Copy as Markdown"_qs, u"Copy Plain Text"_qs, u"Add to Prompt"_qs};
    const QStringList tail {u"-"_qs, u"Delete"_qs};
    QTest::newRow("address and file, no groups")
        << true << true << 0 << QList<int>()
        << head + QStringList {u"-"_qs, u"Open in Browser"_qs, u"Copy URL"_qs, u"-"_qs, u"Show in File Manager"_qs,
               u"-"_qs, u"Copy All from \"https://example.com/article?id=1&&x=2\""_qs, u"-"_qs,
               u"Add to Group\u2026>"_qs, u"  No groups yet (off)"_qs, u"  -"_qs, u"  New Group\u2026"_qs}
            + tail;
    QTest::newRow("neither, two groups, member of the second")
        << false << false << 2 << QList<int> {1}
        << head + QStringList {u"-"_qs, u"Copy All from Firefox"_qs, u"-"_qs, u"Add to Group\u2026>"_qs,
               u"  Group 0"_qs, u"  [x] Group 1"_qs, u"  -"_qs, u"  New Group\u2026"_qs, u"Remove from All Groups"_qs}
            + tail;
    QTest::newRow("file only, member of a deleted group")
        << false << true << 1 << QList<int> {-1}
        << head + QStringList {u"-"_qs, u"Show in File Manager"_qs, u"-"_qs,
               u"Copy All from \"/home/user/Reports && Notes/q1.md\""_qs, u"-"_qs, u"Add to Group\u2026>"_qs,
               u"  Group 0"_qs, u"  -"_qs, u"  New Group\u2026"_qs, u"Remove from All Groups"_qs}
            + tail;
}

void TestSelectionRowCommands::menuItems()
{
    QFETCH(bool, withAddress);
    QFETCH(bool, withFile);
    QFETCH(int, storeGroups);
    QFETCH(QList<int>, memberOf);
    QFETCH(QStringList, expected);
    Store& store = *h->store;
    QList<QUuid> groupIDs;
    for (int i = 0; i < storeGroups; ++i)
        groupIDs.append(store.addGroup(u"Group "_qs + QString::number(i), u"#112233"_qs)->id);
    Selection s = make(1, withAddress ? std::optional(url) : std::nullopt, withFile ? std::optional(path) : std::nullopt);
    for (int index : memberOf)
        s.groupIDs.append(index < 0 ? QUuid::createUuid() : groupIDs[index]);
    store.add(s);
    auto menu = menuFor(s.id);
    QCOMPARE(describe(*menu), expected);
}

void TestSelectionRowCommands::copies()
{
    const Selection s = make(1, url, std::nullopt);
    h->store->add(s);
    auto menu = menuFor(s.id);

    find(*menu, u"Copy Plain Text"_qs)->trigger();
    QCOMPARE(plain(), s.text);
    QVERIFY(!pasteboard.types().contains(PasteboardType::html));
    QVERIFY(flash->isShown(s.id));
    QTRY_VERIFY(!flash->isShown(s.id));

    find(*menu, u"Copy as Markdown"_qs)->trigger();
    QCOMPARE(plain(), s.markdown());
    QVERIFY(pasteboard.string(PasteboardType::html).value_or(QString()).contains(u"<strong>Markdown</strong>"_qs));
    QVERIFY(flash->isShown(s.id));
    QTRY_VERIFY(!flash->isShown(s.id));

    // Copying the address does not show the mark.
    find(*menu, u"Copy URL"_qs)->trigger();
    QCOMPARE(plain(), url);
    QVERIFY(!flash->isShown(s.id));
}

void TestSelectionRowCommands::addressAndFile()
{
    const Selection s = make(1, url, path);
    h->store->add(s);
    auto menu = menuFor(s.id);
    find(*menu, u"Open in Browser"_qs)->trigger();
    find(*menu, u"Show in File Manager"_qs)->trigger();
    QCOMPARE(workspace.openedAddresses, QStringList {url});
    QCOMPARE(workspace.revealedFiles, QStringList {path});

    // Without a workspace (the export) nothing happens and nothing fails.
    environment.workspace = nullptr;
    find(*menu, u"Open in Browser"_qs)->trigger();
    QCOMPARE(workspace.openedAddresses.size(), 1);
}

void TestSelectionRowCommands::copyAllFromSourceMatchesByIdentifier()
{
    Store& store = *h->store;
    const Selection first = make(1, url, std::nullopt, u"Firefox"_qs);
    const Selection otherApp = make(2, url, std::nullopt, u"Chromium"_qs); // same address, other app
    const Selection otherPage = make(3, u"https://example.com/other"_qs, std::nullopt);
    const Selection sameAppNoAddress = make(4, std::nullopt, std::nullopt, u"Firefox"_qs);
    for (const Selection& s : {first, otherApp, otherPage, sameAppNoAddress})
        store.add(s);
    auto menu = menuFor(first.id);
    find(*menu, u"Copy All from \"https://example.com/article?id=1&&x=2\""_qs)->trigger();
    // Store order is newest first: the later capture from the other application leads.
    const QString expected = SelectionsMarkdown::fromSource({otherApp, first}, SourceIdentity::from(first));
    QCOMPARE(plain(), expected);
    QVERIFY(flash->isShown(first.id));
}

void TestSelectionRowCommands::groups()
{
    Store& store = *h->store;
    const SelectionGroup a = *store.addGroup(u"A"_qs, u"#FF0000"_qs);
    const SelectionGroup b = *store.addGroup(u"B"_qs, u"#00FF00"_qs);
    Selection s = make(1, std::nullopt, std::nullopt);
    const QUuid gone = QUuid::createUuid();
    s.groupIDs = {b.id, gone};
    store.add(s);
    auto menu = menuFor(s.id);
    find(*menu, u"A"_qs)->trigger();
    QCOMPARE(store.findByID(s.id)->groupIDs, (QList<QUuid> {b.id, gone, a.id}));
    // Choosing a group it already belongs to only adds: nothing changes.
    find(*menu, u"B"_qs)->trigger();
    QCOMPARE(store.findByID(s.id)->groupIDs, (QList<QUuid> {b.id, gone, a.id}));
    // The menu removes the groups the selection had when it opened, deleted ones included.
    find(*menu, u"Remove from All Groups"_qs)->trigger();
    QCOMPARE(store.findByID(s.id)->groupIDs, (QList<QUuid> {a.id}));
}

void TestSelectionRowCommands::addToPromptAndDelete()
{
    Store& store = *h->store;
    const Selection s = make(1, std::nullopt, std::nullopt);
    store.add(s);
    auto menu = menuFor(s.id);
    find(*menu, u"Add to Prompt"_qs)->trigger();
    QVERIFY(store.activeDraft());
    QCOMPARE(store.activeDraft()->entries.size(), 1);
    QCOMPARE(store.activeDraft()->entries[0].selectionID, s.id);
    find(*menu, u"Delete"_qs)->trigger();
    QVERIFY(!store.findByID(s.id));
    QVERIFY(store.activeDraft()->entries.isEmpty());
}

void TestSelectionRowCommands::newGroupAsksTheWindow()
{
    const Selection s = make(1, std::nullopt, std::nullopt);
    h->store->add(s);
    QSignalSpy spy(environment.notifications.get(), &WindowNotifications::requestNewGroup);
    auto menu = menuFor(s.id);
    find(*menu, u"New Group\u2026"_qs)->trigger();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].value<std::optional<Selection>>(), std::optional(s));
    QVERIFY(h->store->groups().isEmpty());
}

void TestSelectionRowCommands::commandsStayOfferedOnAnUnmodifiableLibrary()
{
    QVERIFY(LibraryFixtures::writeFile(h->path(), "{\"version\": 999}"));
    QVERIFY(LibraryFixtures::writeFile(h->backupPath(), "{\"version\": 999}"));
    h->open();
    commands = std::make_unique<SelectionRowCommands>(*h->store, environment, *flash);
    QVERIFY(!h->store->canModifyLibrary());
    // The window still lists what it had; the menu of such a row offers every item.
    const Selection s = make(1, url, path);
    auto menu = std::make_unique<QMenu>();
    commands->fillMenu(*menu, s);
    for (QAction* action : menu->actions())
        QVERIFY(action->isEnabled());
    find(*menu, u"Copy Plain Text"_qs)->trigger();
    QCOMPARE(plain(), s.text);
    find(*menu, u"Delete"_qs)->trigger();
    find(*menu, u"Add to Prompt"_qs)->trigger();
    QVERIFY(h->store->drafts().isEmpty());
}

void TestSelectionRowCommands::copiedMarkTiming()
{
    ReduceMotion::setOn(false);
    CopiedFlash timed(nullptr, std::chrono::milliseconds(400));
    const QUuid id = QUuid::createUuid();
    QElapsedTimer clock;
    clock.start();
    timed.flash(id);
    QTRY_COMPARE(timed.opacity(id), 1.0); // faded in
    QTest::qWait(150);
    timed.flash(id); // a second copy does not move the end
    QTRY_VERIFY(!timed.isShown(id));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 400 && elapsed < 400 + 150 + 400, qPrintable(QString::number(elapsed)));
    // After the first copy's end the second one's reset finds nothing left to hide.
    QTest::qWait(250);
    QVERIFY(!timed.isShown(id));
}

void TestSelectionRowCommands::copiedMarkWithoutMotion()
{
    ReduceMotion::setOn(true);
    CopiedFlash flashNow(nullptr, std::chrono::milliseconds(50));
    QSignalSpy changes(&flashNow, &CopiedFlash::changed);
    const QUuid id = QUuid::createUuid();
    flashNow.flash(id);
    QCOMPARE(flashNow.opacity(id), 1.0); // at once, no fade
    QCOMPARE(changes.size(), 1);
    QTRY_COMPARE(changes.size(), 2);
    QCOMPARE(flashNow.opacity(id), 0.0);
}

TESSELLON_GUI_TEST_MAIN(TestSelectionRowCommands)
#include "tst_SelectionRowCommands.moc"
