// The library window on a real X session as a screen reader meets it, read over the
// accessibility bus: the sidebar's lists reach every row (seven prompts, eleven sources), source
// rows tell apart the captures of one application by their subtitle, every row tells its count,
// drag handles are pictures that carry their help, library rows are named, valued and offer their
// two commands, the detail's header shows a reader its texts, not its icons, and the
// add-to-prompt banner is one element, its text.

#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/CopiedFlash.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "Zubra/LibraryWindow/LibraryToolbar.h"
#include "Zubra/LibraryWindow/LibraryWindowViews.h"
#include "Zubra/LibraryWindow/ReduceMotion.h"
#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "support/AtspiTree.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;
using AtspiTree::Element;

namespace {

QUuid sel(int n)
{
    return LibraryFixtures::id(1, n);
}
QUuid grp(int n)
{
    return LibraryFixtures::id(2, n);
}
QUuid draft(int n)
{
    return LibraryFixtures::id(3, n);
}

const QString handleHelp = u"Drag to add to a prompt or group"_s;

// One capture from each of eleven sources (three of them pages read in Firefox), a twelfth from
// the first page with a blank text, two groups and seven prompts, the fourth of them active.
StoreSnapshot fixture()
{
    StoreSnapshot snapshot;
    struct Source
    {
        QString app;
        QString url;
        QString file;
    };
    const QList<Source> sources {{u"Firefox"_s, u"https://example.org/alpha"_s, {}},
        {u"Firefox"_s, u"https://example.org/beta"_s, {}}, {u"Firefox"_s, u"https://docs.example.com/gamma"_s, {}},
        {u"Text Editor"_s, {}, u"/home/user/notes.txt"_s}, {u"Text Editor"_s, {}, u"/home/user/plan.md"_s},
        {u"Terminal"_s, {}, {}}, {u"Chromium"_s, u"https://example.net/delta"_s, {}}, {u"Mail"_s, {}, {}},
        {u"Calendar"_s, {}, {}}, {u"Document Viewer"_s, {}, u"/home/user/paper.pdf"_s}, {u"Chat"_s, {}, {}}};
    for (int n = 0; n <= sources.size(); ++n) {
        const Source& source = sources[n % sources.size()];
        const QString text = n == sources.size() ? u"  \n\t "_s : u"Passage number "_s + QString::number(n);
        Selection s = Selection::make(sel(n), text, std::nullopt, source.app);
        if (!source.url.isEmpty())
            s.sourceURL = source.url;
        if (!source.file.isEmpty())
            s.filePath = source.file;
        if (n < 3)
            s.groupIDs = {grp(n % 2)};
        s.createdAt = LibraryFixtures::time(100 - n);
        snapshot.selections.append(s);
    }
    snapshot.groups = {SelectionGroup {grp(0), u"Research"_s, u"#3366CC"_s, LibraryFixtures::time(0)},
        SelectionGroup {grp(1), u"Reading"_s, u"#CC6633"_s, LibraryFixtures::time(1)}};
    QList<ContextDraft> drafts;
    for (int n = 0; n < 7; ++n)
        drafts.append(ContextDraft::fresh(draft(n), u"Prompt draft "_s + QString::number(n), LibraryFixtures::time(n)));
    snapshot.drafts = drafts;
    snapshot.activeDraftID = draft(3);
    return snapshot;
}

// The names of the elements whose parent is the element at that index.
QStringList childNames(const QList<Element>& tree, int parent)
{
    QStringList names;
    for (const Element& e : AtspiTree::childrenOf(tree, parent))
        names.append(e.name);
    names.sort();
    return names;
}

} // namespace

class TestLibraryAccessibilityX11 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sidebarListsReachEveryRow_data();
    void sidebarListsReachEveryRow();
    void sourceRowsTellTheirOrigin();
    void libraryRowsSpeak();
    void libraryRowActions_data();
    void libraryRowActions();
    void detailShowsTextsNotIcons();
    void rowsTellTheirCount_data();
    void rowsTellTheirCount();
    void addToPromptBannerIsOneElement();

private:
    QList<Element> readTree()
    {
        const QList<Element> tree = AtspiTree::read();
        if (tree.isEmpty())
            QTest::qSkip("no accessibility bus in this session", __FILE__, __LINE__);
        return tree;
    }

    std::unique_ptr<StoreHarness> h;
    MemoryPasteboard pasteboard;
    MemoryWorkspace workspace;
    LibraryEnvironment environment;
    std::unique_ptr<ContentView> view;
    LibraryWindowViews* views = nullptr;
};

void TestLibraryAccessibilityX11::init()
{
    // A list that tells a reader of rows it cannot give warns; none may.
    QTest::failOnWarning(QRegularExpression(u"Invalid index"_s));
    ReduceMotion::setOn(true);
    h = std::make_unique<StoreHarness>();
    pasteboard.replaceContent({});
    environment = LibraryEnvironment {};
    environment.pasteboard = &pasteboard;
    environment.workspace = &workspace;
    environment.icon = [](const Selection&) { return QIcon(); };
    environment.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    environment.timeZone = QTimeZone::utc();
    environment.relativeDateReference = LibraryFixtures::time(220);
    h->writeLibrary(fixture());
    h->open();
    view = std::make_unique<ContentView>(*h->store, environment);
    views = new LibraryWindowViews(*view); // the window's own
    view->resize(1120, 900);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
}

void TestLibraryAccessibilityX11::cleanup()
{
    view.reset();
    h.reset();
    ReduceMotion::setOn(false);
}

void TestLibraryAccessibilityX11::sidebarListsReachEveryRow_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("rows");
    QStringList prompts {u"Prompt"_s};
    for (int n : {0, 1, 2, 4, 5, 6})
        prompts.append(u"Prompt draft "_s + QString::number(n));
    QTest::newRow("seven prompts") << u"Prompt"_s << prompts;
    QTest::newRow("library") << u"Library"_s << QStringList {u"All Selections"_s};
    QTest::newRow("groups") << u"Groups"_s << QStringList {u"Reading"_s, u"Research"_s};
    QTest::newRow("eleven sources") << u"Sources"_s
                                    << QStringList {u"Calendar"_s, u"Chat"_s, u"Chromium"_s, u"Document Viewer"_s,
                                           u"Firefox"_s, u"Firefox"_s, u"Firefox"_s, u"Mail"_s, u"Terminal"_s,
                                           u"Text Editor"_s, u"Text Editor"_s};
}

void TestLibraryAccessibilityX11::sidebarListsReachEveryRow()
{
    QFETCH(QString, list);
    QFETCH(QStringList, rows);
    const QList<Element> tree = readTree();
    const int at = AtspiTree::indexOf(tree, list, u"list"_s);
    QVERIFY2(at >= 0, qPrintable(list));
    QCOMPARE(tree[at].childCount, rows.size());
    for (const Element& row : AtspiTree::childrenOf(tree, at))
        QCOMPARE(row.role, u"list item"_s);
    rows.sort();
    QCOMPARE(childNames(tree, at), rows);
}

void TestLibraryAccessibilityX11::sourceRowsTellTheirOrigin()
{
    const QList<Element> tree = readTree();
    const int sources = AtspiTree::indexOf(tree, u"Sources"_s, u"list"_s);
    QVERIFY(sources >= 0);
    QStringList firefox;
    QStringList subtitles;
    for (int i = 0; i < tree.size(); ++i) {
        if (tree[i].parent != sources)
            continue;
        subtitles.append(tree[i].description);
        if (tree[i].name == u"Firefox"_s)
            firefox.append(tree[i].description);
        // Each source row holds its drag handle, a picture that tells what dragging it does.
        const QList<Element> handle = AtspiTree::childrenOf(tree, i);
        QCOMPARE(handle.size(), 1);
        QCOMPARE(handle[0].name, handleHelp);
        QCOMPARE(handle[0].description, handleHelp);
        QCOMPARE(handle[0].role, u"graphic"_s); // the bridge's name of the picture role
    }
    firefox.sort();
    // The subtitle, then the count.
    QCOMPARE(firefox,
        (QStringList {u"https://docs.example.com/gamma, 1"_s, u"https://example.org/alpha, 2"_s,
            u"https://example.org/beta, 1"_s}));
    // Address, else file, else application.
    QVERIFY(subtitles.contains(u"/home/user/plan.md, 1"_s));
    QVERIFY(subtitles.contains(u"Terminal, 1"_s));

    // Group rows carry their handle too; the prompt rows have none.
    const int groups = AtspiTree::indexOf(tree, u"Groups"_s, u"list"_s);
    for (const Element& group : AtspiTree::childrenOf(tree, groups))
        QCOMPARE(group.childCount, 1);
    const int prompts = AtspiTree::indexOf(tree, u"Prompt"_s, u"list"_s);
    for (const Element& prompt : AtspiTree::childrenOf(tree, prompts))
        QCOMPARE(prompt.childCount, 0);
}

void TestLibraryAccessibilityX11::libraryRowsSpeak()
{
    const QList<Element> tree = readTree();
    const int list = AtspiTree::indexOf(tree, u"Selections"_s, u"list"_s);
    QVERIFY(list >= 0);
    const QList<Element> rows = AtspiTree::childrenOf(tree, list);
    QCOMPARE(tree[list].childCount, 12);
    QCOMPARE(rows.size(), 12);
    const auto row = [&](const QString& name) {
        for (const Element& e : rows)
            if (e.name == name)
                return e;
        return Element {};
    };
    // Captured 120 minutes before the reference moment, from a page.
    QCOMPARE(row(u"Passage number 0"_s).description, u"From https://example.org/alpha, 2 hours ago"_s);
    QCOMPARE(row(u"Passage number 5"_s).description, u"From Terminal, 2 hours ago"_s);
    QCOMPARE(row(u"Passage number 4"_s).description, u"From /home/user/plan.md, 2 hours ago"_s);
    // A blank capture has no headline: it is read as untitled.
    QCOMPARE(row(u"Untitled capture"_s).description, u"From https://example.org/alpha, 2 hours ago"_s);
    for (const Element& e : rows) {
        QCOMPARE(e.role, u"list item"_s);
        QVERIFY2(e.description.startsWith(u"From "_s), qPrintable(e.name));
        QCOMPARE(e.actions, (QStringList {u"Copy plain text"_s, u"Add to active prompt"_s, u"Toggle"_s}));
    }
}

void TestLibraryAccessibilityX11::libraryRowActions_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("copy") << u"Copy plain text"_s;
    QTest::newRow("prompt") << u"Add to active prompt"_s;
    QTest::newRow("toggle") << u"Toggle"_s;
}

void TestLibraryAccessibilityX11::libraryRowActions()
{
    QFETCH(QString, action);
    const QList<Element> tree = readTree();
    const auto row = AtspiTree::named(tree, u"Passage number 7"_s, u"list item"_s);
    QVERIFY(row);
    bool done = false;
    AtspiTree::withReader([&](AtspiTree::Reader& reader) { done = reader.doAction(row->ref, action); });
    QVERIFY(done);
    QCoreApplication::processEvents();

    const bool copy = action == u"Copy plain text"_s;
    QCOMPARE(Clipboard::plainText(pasteboard).value_or(QString()), copy ? u"Passage number 7"_s : QString());
    QCOMPARE(view->list().copiedFlash().opacity(sel(7)) > 0, copy);
    const auto active = h->store->activeDraft();
    QVERIFY(active);
    const bool added = std::any_of(active->entries.cbegin(), active->entries.cend(),
        [](const ContextDraftEntry& entry) { return entry.selectionID == sel(7); });
    QCOMPARE(added, action == u"Add to active prompt"_s);
    QCOMPARE(view->selectionState().selectedIDs().contains(sel(7)), action == u"Toggle"_s);
}

void TestLibraryAccessibilityX11::detailShowsTextsNotIcons()
{
    view->selectionState().writeSelection({sel(2)});
    QCoreApplication::processEvents();
    const QList<Element> tree = readTree();
    QVERIFY(AtspiTree::named(tree, u"Selection detail"_s));
    // The header: the title (the application, as the capture has no page title), the source and
    // the date, with neither the application's icon nor the source's symbol.
    const int title = AtspiTree::indexOf(tree, u"Firefox"_s, u"label"_s);
    QVERIFY(title >= 0);
    QStringList header;
    for (const Element& e : AtspiTree::childrenOf(tree, tree[title].parent))
        header.append(e.role + u": "_s + e.name);
    QCOMPARE(header.size(), 3);
    QCOMPARE(header.value(1), u"label: https://docs.example.com/gamma"_s);
}

void TestLibraryAccessibilityX11::rowsTellTheirCount_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("description");
    QTest::newRow("library") << u"Library"_s << u"All Selections"_s << u"12"_s;
    QTest::newRow("group of two") << u"Groups"_s << u"Research"_s << u"2"_s;
    QTest::newRow("group of one") << u"Groups"_s << u"Reading"_s << u"1"_s;
    QTest::newRow("source") << u"Sources"_s << u"Chat"_s << u"Chat, 1"_s;
    // An empty prompt shows no badge, and tells no count.
    QTest::newRow("empty prompt") << u"Prompt"_s << u"Prompt"_s << QString();
}

void TestLibraryAccessibilityX11::rowsTellTheirCount()
{
    QFETCH(QString, list);
    QFETCH(QString, row);
    QFETCH(QString, description);
    const QList<Element> tree = readTree();
    const int at = AtspiTree::indexOf(tree, list, u"list"_s);
    QVERIFY(at >= 0);
    QStringList found;
    for (const Element& e : AtspiTree::childrenOf(tree, at))
        if (e.name == row)
            found.append(e.description);
    QCOMPARE(found, QStringList {description});
}

void TestLibraryAccessibilityX11::addToPromptBannerIsOneElement()
{
    view->selectionState().set({sel(1), sel(2)}, sel(1));
    views->toolbar().addSelectedToPrompt();
    QCoreApplication::processEvents();
    QList<Element> tree = readTree();
    const auto banner = AtspiTree::named(tree, u"Added 2 of 2 selections to the prompt"_s);
    QVERIFY(banner);
    QCOMPARE(banner->role, u"label"_s);
    QCOMPARE(banner->childCount, 0);
    views->toolbar().addSelectedToPrompt();
    QCoreApplication::processEvents();
    tree = readTree();
    QVERIFY(AtspiTree::named(tree, u"Already in the prompt"_s, u"label"_s));
}

TESSELLON_GUI_TEST_MAIN(TestLibraryAccessibilityX11)
#include "tst_LibraryAccessibilityX11.moc"
