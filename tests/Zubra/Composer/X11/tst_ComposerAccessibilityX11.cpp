// The composer on a real X session as a screen reader meets it: its elements read over the
// accessibility bus (AT-SPI spoken through QtDBus from a thread of its own, while this thread
// answers as the application) carry the names of the icon-only controls and each entry row's
// state, and keys pressed with xdotool reach a row's switch, toggle it, and copy the prompt.

#include "../ComposerFixture.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "ZubraCore/Composition/ContextComposer.h"
#include "support/AtspiTree.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QAccessible>
#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

namespace {

using AtspiTree::Element;
using AtspiTree::named;
using AtspiTree::stateChecked;
using AtspiTree::stateFocused;

} // namespace

class TestComposerAccessibilityX11 : public QObject
{
    Q_OBJECT

private slots:
    void screenReaderReadsTheComposer();
    void keyboardAloneUsesARow();
    void preambleActionOverTheBus();
    void focusIsMarkedOnScreen_data();
    void focusIsMarkedOnScreen();
};

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

TESSELLON_GUI_TEST_MAIN(TestComposerAccessibilityX11)
#include "tst_ComposerAccessibilityX11.moc"
