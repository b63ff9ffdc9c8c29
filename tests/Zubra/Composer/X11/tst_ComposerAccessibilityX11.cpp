// The composer on a real X session as a screen reader meets it: its elements read over the
// accessibility bus (AT-SPI spoken through QtDBus from a thread of its own, while this thread
// answers as the application) carry the names of the icon-only controls and each entry row's
// state, and keys pressed with xdotool reach a row's switch, toggle it, and copy the prompt.
// The composer is built here as the program builds it, while the reader listens; the program
// itself, started on a library with a prompt, publishes the same rows, also rows added later.

#include "../ComposerFixture.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/AtspiTree.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QAccessible>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <sys/stat.h>

namespace {

using AtspiTree::Element;
using AtspiTree::named;
using AtspiTree::stateChecked;
using AtspiTree::stateFocused;

// The program's elements as a screen reader reads them.
QList<Element> programTree(qint64 process)
{
    QList<Element> tree;
    AtspiTree::withReader([&](AtspiTree::Reader& reader) { tree = reader.read(4000, process); });
    return tree;
}

// The index of the composer's "Sources" list in the tree (the sidebar's list of sources has the
// same name, and no switches in its rows); -1 when there is none.
int composerList(const QList<Element>& tree)
{
    for (int i = 0; i < tree.size(); ++i) {
        if (tree[i].name != u"Sources"_s || tree[i].role != u"list"_s)
            continue;
        const QList<Element> rows = AtspiTree::childrenOf(tree, i);
        if (!rows.isEmpty() && named(tree, u"Include "_s + rows.first().name, u"check box"_s))
            return i;
    }
    return -1;
}

// The headlines of the composer's rows, in order.
QStringList composerRows(const QList<Element>& tree)
{
    QStringList names;
    for (const Element& row : AtspiTree::childrenOf(tree, composerList(tree)))
        names.append(row.name);
    return names;
}

// Reads the tree again until `done` holds of it, for at most `timeout`; the last tree read.
QList<Element> readUntil(qint64 process, const std::function<bool(const QList<Element>&)>& done,
    std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    QList<Element> tree;
    QDeadlineTimer deadline(timeout);
    do {
        tree = programTree(process);
        if (done(tree))
            break;
        QTest::qWait(250);
    } while (!deadline.hasExpired());
    return tree;
}

Selection librarySelection(const QString& text, const QString& app, std::optional<QString> url = std::nullopt)
{
    return Selection::make(QUuid::createUuid(), text, std::nullopt, app, std::nullopt, std::move(url), std::nullopt,
        std::nullopt, {}, QDateTime::currentDateTimeUtc());
}

} // namespace

class TestComposerAccessibilityX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void screenReaderReadsTheComposer();
    void keyboardAloneUsesARow();
    void preambleActionOverTheBus();
    void focusIsMarkedOnScreen_data();
    void focusIsMarkedOnScreen();
    void programPublishesTheRows();
};

// The composers below are built as the program builds its own: while the desktop's
// accessibility bridge listens.
void TestComposerAccessibilityX11::initTestCase()
{
    QTRY_VERIFY_WITH_TIMEOUT(QAccessible::isActive(), 10000);
}

void TestComposerAccessibilityX11::screenReaderReadsTheComposer()
{
    Composer c({u"First source"_s, u"Second source"_s});
    DraftOperations::toggleInclude(c.store(), c.draftID, c.entry(1));
    c.settle();
    QVERIFY(QTest::qWaitForWindowExposed(c.view.get()));
    const QList<Element> tree = AtspiTree::read();
    if (tree.isEmpty())
        QSKIP("no accessibility bus in this session");

    // Each row: its item, its switch with help text and state, its handle and its menu.
    for (const auto& [headline, included] :
        {std::pair(u"First source"_s, true), std::pair(u"Second source"_s, false)}) {
        const auto item = named(tree, headline, u"list item"_s);
        QVERIFY2(item, qPrintable(headline));
        QCOMPARE(item->description, included ? u"Included in prompt"_s : u"Excluded from prompt"_s);
        const auto box = named(tree, u"Include "_s + headline, u"check box"_s);
        QVERIFY(box);
        QCOMPARE(box->has(stateChecked), included);
        QCOMPARE(box->description, included ? u"Exclude from prompt"_s : u"Include in prompt"_s);
        const auto menu = named(tree, u"Options for "_s + headline);
        QVERIFY(menu);
        QCOMPARE(menu->description, u"Source options"_s);
    }
    QCOMPARE(std::count_if(tree.cbegin(), tree.cend(),
                 [](const Element& e) {
                     return e.name == u"Drag to reorder source"_s && e.description == u"Drag to reorder"_s;
                 }),
        2);

    // Every control a reader lands on has a name.
    for (const auto& [name, role] : {std::pair(u"Prompt name"_s, u"text"_s),
             std::pair(u"Task or instructions for the model"_s, u"text"_s), std::pair(u"Template"_s, u"button menu"_s),
             std::pair(u"Import text\u2026"_s, u"push button"_s), std::pair(u"Cleanup"_s, u"button menu"_s),
             std::pair(u"Preamble"_s, u"check box"_s), std::pair(u"Preview"_s, u"text"_s),
             std::pair(u"Copy Prompt"_s, u"push button"_s), std::pair(u"Export"_s, u"push button"_s),
             std::pair(u"Sources"_s, u"list"_s), std::pair(u"Token budget"_s, u"progress bar"_s)})
        QVERIFY2(named(tree, name, role), qPrintable(name + u" / "_s + role));
    // A combo box reads as its choice, labelled by its title.
    QStringList comboLabels;
    for (const Element& e : tree) {
        if (e.role == u"push button"_s || e.role == u"button menu"_s || e.role == u"check box"_s || e.role == u"text"_s)
            QVERIFY2(!e.name.isEmpty(), qPrintable(e.role + u" without a name"_s));
        if (e.role == u"combo box"_s)
            comboLabels += e.labels;
    }
    QCOMPARE(comboLabels, (QStringList {u"Template"_s, u"Model"_s}));
}

void TestComposerAccessibilityX11::keyboardAloneUsesARow()
{
    if (!X11Programs::available(u"xdotool"_s))
        QSKIP("xdotool is not installed");
    Composer c({u"First source"_s, u"Second source"_s});
    c.settle();
    QVERIFY(QTest::qWaitForWindowExposed(c.view.get()));
    c.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.view.get()));
    c.pane()->nameField()->setFocus(Qt::TabFocusReason);

    // From the name field, Tab through the task, Template and import into the first row's switch.
    // Each Tab is pressed once the one before has moved the focus, so none is lost or doubled.
    for (int i = 0; i < 8 && QApplication::focusWidget() != c.pane()->entryList(); ++i) {
        QWidget* const before = QApplication::focusWidget();
        QVERIFY(X11Programs::key(u"Tab"_s));
        QTRY_VERIFY(QApplication::focusWidget() != before);
    }
    QCOMPARE(QApplication::focusWidget(), c.pane()->entryList());
    QCOMPARE(c.pane()->entryList()->focusedPart(), ComposeEntryRow::Part::checkbox);
    auto box = named(AtspiTree::read(), u"Include First source"_s, u"check box"_s);
    if (!box)
        QSKIP("no accessibility bus in this session");
    QVERIFY(box->has(stateFocused));
    QVERIFY(box->has(stateChecked));

    // Space switches the entry; a reader hears the new state.
    QVERIFY(X11Programs::key(u"space"_s));
    QTRY_VERIFY(!c.draft().entries[0].include);
    box = named(AtspiTree::read(), u"Include First source"_s, u"check box"_s);
    QVERIFY(box);
    QVERIFY(!box->has(stateChecked));
    QCOMPARE(box->description, u"Include in prompt"_s);

    // The copy shortcut from inside the list.
    QVERIFY(X11Programs::key(u"ctrl+shift+c"_s));
    QTRY_COMPARE(c.clipboardText(), c.preview()->composed()->text);
}

// The Preamble box's action, performed over the bus as a screen reader does, leaves the grounding
// instruction out of the next copied prompt.
void TestComposerAccessibilityX11::preambleActionOverTheBus()
{
    Composer c({u"First source"_s});
    c.settle();
    QVERIFY(QTest::qWaitForWindowExposed(c.view.get()));
    const auto box = named(AtspiTree::read(), u"Preamble"_s, u"check box"_s);
    if (!box)
        QSKIP("no accessibility bus in this session");
    QVERIFY(box->has(stateChecked));
    QString action;
    for (const QString& name : {QAccessibleActionInterface::toggleAction(), QAccessibleActionInterface::pressAction()})
        action = action.isEmpty() && box->actions.contains(name) ? name : action;
    QVERIFY2(!action.isEmpty(), qPrintable(box->actions.join(u", "_s)));
    bool done = false;
    AtspiTree::withReader([&](AtspiTree::Reader& reader) { done = reader.doAction(box->ref, action); });
    QVERIFY(done);
    QTRY_VERIFY(!c.view->state().usePreamble());
    c.settle();
    c.preview()->copyButton()->click();
    QVERIFY(!c.clipboardText().isEmpty());
    QVERIFY(!c.clipboardText().contains(ContextComposer::defaultPreamble()));
}

// The composer in a real window, wide and narrow, light and dark, with the keyboard on a row's
// handle and then on the Cleanup button: both marks show on screen. The screenshots are kept in
// the build folder for review.
void TestComposerAccessibilityX11::focusIsMarkedOnScreen_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("dark");
    QTest::newRow("wide-light") << 1100 << false;
    QTest::newRow("wide-dark") << 1100 << true;
    QTest::newRow("narrow-light") << 700 << false;
    QTest::newRow("narrow-dark") << 700 << true;
}

void TestComposerAccessibilityX11::focusIsMarkedOnScreen()
{
    QFETCH(int, width);
    QFETCH(bool, dark);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    // The scheme is the application's, as the program sets it before it builds its views.
    const QPalette before = QApplication::palette();
    QApplication::setPalette(AppScreenshotExporter::palette(
        dark ? AppScreenshotExporter::ColorScheme::dark : AppScreenshotExporter::ColorScheme::light));
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    Composer c({u"Swift concurrency makes asynchronous code safer"_s, u"git rebase -i HEAD~3"_s,
        u"Action items: ship the hotkey capture"_s});
    DraftOperations::toggleInclude(c.store(), c.draftID, c.entry(2));
    c.view->resize(width, 600);
    c.view->splitter()->setSizes({width * 2 / 5, width * 3 / 5});
    c.settle();
    QVERIFY(QTest::qWaitForWindowExposed(c.view.get()));
    c.view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(c.view.get()));

    ComposeEntryList* list = c.pane()->entryList();
    list->setFocus(Qt::TabFocusReason);
    list->setCurrentIndex(list->model()->index(1, 0));
    list->setFocusedPart(ComposeEntryRow::Part::handle);
    QTest::qWait(100);
    const QColor highlight = c.view->palette().color(QPalette::Highlight);
    const auto ringPixels = [&](QWidget* around, const QRect& local) {
        const QRect area(around->mapTo(c.view.get(), local.topLeft()) - QPoint(4, 4), local.size() + QSize(8, 8));
        const QImage shot = c.view->screen()->grabWindow(c.view->winId()).toImage();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += shot.valid(x, y) && shot.pixelColor(x, y) == highlight;
        return std::pair(count, shot);
    };
    const QRect handle
        = list->row()->partRect(list->visualRect(list->model()->index(1, 0)), ComposeEntryRow::Part::handle);
    auto [onHandle, shot] = ringPixels(list->viewport(), handle);
    QVERIFY(onHandle > 10);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QDir().mkpath(QStringLiteral(TESSELLON_SCREENSHOT_DIR));
    QVERIFY(shot.save(QStringLiteral(TESSELLON_SCREENSHOT_DIR "/composer-") + name + u"-row.png"_s));

    QToolButton* cleanup = nullptr;
    for (QToolButton* b : c.view->findChildren<QToolButton*>())
        if (b->text() == u"Cleanup"_s)
            cleanup = b;
    QVERIFY(cleanup);
    cleanup->setFocus(Qt::TabFocusReason);
    QTest::qWait(100);
    auto [onButton, buttonShot] = ringPixels(cleanup, cleanup->rect());
    QVERIFY(onButton > 10);
    QCOMPARE(ringPixels(list->viewport(), handle).first, 0);
    QVERIFY(buttonShot.save(QStringLiteral(TESSELLON_SCREENSHOT_DIR "/composer-") + name + u"-button.png"_s));
}

// The program itself, on a library whose prompt holds two entries (one excluded): each row of
// "Sources" is a list item with its switch (name, state, help), its handle and its menu, also a
// row added while the program runs; Template and Cleanup open their menus over the bus, and the
// budget bar offers no action.
void TestComposerAccessibilityX11::programPublishesTheRows()
{
    for (const char* tool : {"xdotool", "dbus-send"})
        if (!X11Programs::available(QString::fromLatin1(tool)))
            QSKIP("a tool the test drives is missing");
    // The desktop's accessibility support on, as a screen reader's user has it: the program then
    // starts without asking for it.
    QVERIFY(X11Programs::run(u"dbus-send"_s,
        {u"--session"_s, u"--print-reply"_s, u"--dest=org.a11y.Bus"_s, u"/org/a11y/bus"_s,
            u"org.freedesktop.DBus.Properties.Set"_s, u"string:org.a11y.Status"_s, u"string:IsEnabled"_s,
            u"variant:boolean:true"_s}));
    QTemporaryDir home;
    for (const char* folder : {"data", "config", "state", "log", "run"})
        QVERIFY(QDir().mkpath(home.filePath(QString::fromLatin1(folder))));
    QVERIFY(::chmod(QFile::encodeName(home.filePath(u"run"_s)).constData(), 0700) == 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    environment.insert(u"XDG_STATE_HOME"_s, home.filePath(u"state"_s));
    environment.insert(u"TESSELLON_LOG_DIR"_s, home.filePath(u"log"_s));
    environment.insert(u"XDG_RUNTIME_DIR"_s, home.filePath(u"run"_s));

    StoreSnapshot snapshot;
    snapshot.selections = {librarySelection(u"First source"_s, u"Browser"_s, u"https://a.test/1"_s),
        librarySelection(u"Second source"_s, u"Editor"_s), librarySelection(u"Added later"_s, u"Notes"_s)};
    ContextDraft draft = ContextDraft::fresh(QUuid::createUuid(), u"Prompt 1"_s, QDateTime::currentDateTimeUtc());
    for (int i = 0; i < 2; ++i)
        draft.entries.append(ContextDraft::freshEntry(QUuid::createUuid(), snapshot.selections[i].id));
    draft.entries[1].include = false;
    snapshot.drafts = QList<ContextDraft> {draft};
    snapshot.activeDraftID = draft.id;
    QVERIFY(LibraryFixtures::writeFile(
        home.filePath(u"data/Tessellon/Tessellon.json"_s), LibraryDocument::encode(snapshot).bytes));

    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(TESSELLON_PROGRAM), {u"-showWindowOnLaunch"_s});
    QVERIFY(program.waitForStarted(5000));
    const auto end = qScopeGuard([&] {
        program.terminate();
        if (!program.waitForFinished(10000)) {
            program.kill();
            program.waitForFinished(5000);
        }
    });
    const QString window = X11Programs::windowOf(program.processId(), 20000);
    QVERIFY(!window.isEmpty());
    const auto rowsAre = [](const QStringList& headlines) {
        return [headlines](const QList<Element>& tree) { return composerRows(tree) == headlines; };
    };
    // Go to Prompt, pressed again should the window not take keys yet.
    QList<Element> tree;
    for (int attempt = 0; attempt < 5 && composerRows(tree).isEmpty(); ++attempt) {
        QVERIFY(X11Programs::activate(window));
        QVERIFY(X11Programs::key(u"ctrl+shift+p"_s));
        tree
            = readUntil(program.processId(), rowsAre({u"First source"_s, u"Second source"_s}), std::chrono::seconds(4));
    }
    QCOMPARE(composerRows(tree), (QStringList {u"First source"_s, u"Second source"_s}));
    const auto checkRow = [&](const QString& headline, bool included) {
        int row = -1;
        for (int i = 0; i < tree.size(); ++i)
            if (tree[i].parent == composerList(tree) && tree[i].name == headline)
                row = i;
        QVERIFY2(row >= 0, qPrintable(headline));
        QCOMPARE(tree[row].description, included ? u"Included in prompt"_s : u"Excluded from prompt"_s);
        QCOMPARE(tree[row].has(stateChecked), included);
        const QList<Element> controls = AtspiTree::childrenOf(tree, row);
        QStringList names;
        for (const Element& control : controls)
            names.append(control.name);
        QCOMPARE(names,
            (QStringList {u"Include "_s + headline, u"Drag to reorder source"_s, u"Options for "_s + headline}));
        QCOMPARE(controls[0].role, u"check box"_s);
        QCOMPARE(controls[0].has(stateChecked), included);
        QCOMPARE(controls[0].description, included ? u"Exclude from prompt"_s : u"Include in prompt"_s);
    };
    checkRow(u"First source"_s, true);
    checkRow(u"Second source"_s, false);

    // A selection added to the prompt from the library gets a row of the same kind.
    const auto added = named(tree, u"Added later"_s, u"list item"_s);
    QVERIFY(added);
    bool done = false;
    AtspiTree::withReader(
        [&](AtspiTree::Reader& reader) { done = reader.doAction(added->ref, u"Add to active prompt"_s); });
    QVERIFY2(done, qPrintable(added->actions.join(u", "_s)));
    tree = readUntil(program.processId(), rowsAre({u"First source"_s, u"Second source"_s, u"Added later"_s}));
    QCOMPARE(composerRows(tree), (QStringList {u"First source"_s, u"Second source"_s, u"Added later"_s}));
    checkRow(u"Added later"_s, true);

    const auto bar = named(tree, u"Token budget"_s, u"progress bar"_s);
    QVERIFY(bar);
    QCOMPARE(bar->actions, QStringList());

    // Cleanup's ShowMenu opens its menu, whose second item removes the excluded entry. (An open
    // menu is no child of the program's element: the keys choose the item.)
    const auto cleanup = named(tree, u"Cleanup"_s, u"button menu"_s);
    QVERIFY(cleanup);
    AtspiTree::withReader([&](AtspiTree::Reader& reader) { done = reader.doAction(cleanup->ref, u"ShowMenu"_s); });
    QVERIFY2(done, qPrintable(cleanup->actions.join(u", "_s)));
    QTest::qWait(500);
    for (const char* key : {"Down", "Down", "Return"})
        QVERIFY(X11Programs::key(QString::fromLatin1(key)));
    tree = readUntil(program.processId(), rowsAre({u"First source"_s, u"Added later"_s}));
    QCOMPARE(composerRows(tree), (QStringList {u"First source"_s, u"Added later"_s}));
}

TESSELLON_GUI_TEST_MAIN(TestComposerAccessibilityX11)
#include "tst_ComposerAccessibilityX11.moc"
