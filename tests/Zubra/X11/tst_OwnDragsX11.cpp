// A row dragged with the pointer on a real X server onto one of Tessellon's own text fields never
// types its identifiers there: over another entry's note the composer's drag reorders the entries
// and leaves the note as it was, and a library row dropped on the search field searches nothing.

#include "../Composer/ComposerFixture.h"
#include "Zubra/Composer/ComposeEntryList.h"
#include "Zubra/LibraryWindow/ContentView.h"
#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

#include <QLineEdit>
#include <QProcess>
#include <QTest>

namespace {

// Counts the drags that reach a widget, whatever becomes of them.
class DragSeen final : public QObject
{
public:
    explicit DragSeen(QObject* target) { target->installEventFilter(this); }
    int entered = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        entered += event->type() == QEvent::DragEnter;
        return false;
    }
};

// Presses the first button at the first point, moves through the others in small steps (or, for
// a point marked as a jump, at once) and releases at the last, all in one xdotool process: the
// drag's own loop keeps this thread busy.
struct Waypoint
{
    QPoint at;
    bool jump = false;
};

QStringList gesture(const QList<Waypoint>& points)
{
    const auto at = [](QPoint p) {
        return QStringList {u"mousemove"_s, QString::number(p.x()), QString::number(p.y())};
    };
    QStringList script = at(points.first().at) + QStringList {u"sleep"_s, u"0.2"_s, u"mousedown"_s, u"1"_s};
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPoint from = points[i - 1].at;
        const QPoint to = points[i].at;
        const int steps = points[i].jump ? 1 : 8;
        for (int step = 1; step <= steps; ++step)
            script += QStringList {u"sleep"_s, u"0.06"_s} + at(from + (to - from) * step / steps);
    }
    return script + QStringList {u"sleep"_s, u"0.3"_s} + at(points.last().at + QPoint(1, 1))
        + QStringList {u"sleep"_s, u"0.3"_s, u"mouseup"_s, u"1"_s};
}

bool runGesture(const QList<Waypoint>& points)
{
    QProcess xdotool;
    xdotool.start(u"xdotool"_s, gesture(points));
    if (!xdotool.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(20000);
    while (xdotool.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    QTest::qWait(200); // the drop's last events
    return xdotool.state() == QProcess::NotRunning && xdotool.exitCode() == 0;
}

} // namespace

class TestOwnDragsX11 : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (!X11Programs::available(u"xdotool"_s))
            QSKIP("xdotool is not installed");
    }

    void rowDroppedOnAnotherEntrysNoteReorders()
    {
        Composer c({u"alpha"_s, u"beta"_s, u"gamma"_s});
        DraftOperations::setNote(c.store(), c.draftID, c.entry(0), u"check this"_s);
        c.view->move(40, 40);
        QVERIFY(QTest::qWaitForWindowExposed(c.view.get()));
        c.settle();
        QTest::qWait(300); // the window manager places the window
        ComposeEntryList* list = c.pane()->entryList();
        list->setShowsNote(c.entry(0), true); // as "Add Note" does
        const QModelIndex noted = list->indexOfEntry(c.entry(0));
        const QModelIndex dragged = list->indexOfEntry(c.entry(1));
        QWidget* note = list->noteField(noted);
        QVERIFY(note && note->isVisible());
        const QStringList before = c.order();
        bool reordered = false;
        QObject::connect(&c.store(), &Store::draftChanged, c.view.get(), [&] { reordered |= c.order() != before; });

        // From the second row's handle along the top of its own row, then at once into the first
        // row's note field just above: no other part of the first row is passed on the way.
        const QPoint handle = list->globalPartRect(dragged, ComposeEntryRow::Part::handle).center();
        const QPoint onNote = note->mapToGlobal(note->rect().center());
        const int rowTop = list->viewport()->mapToGlobal(list->visualRect(dragged).topLeft()).y();
        QVERIFY(runGesture({{handle}, {QPoint(onNote.x(), rowTop + 2)}, {onNote, true}}));

        const ContextDraft draft = c.draft();
        const auto noteOf = [&](const QString& text) {
            for (const ContextDraftEntry& e : draft.entries)
                if (c.store().findByID(e.selectionID)->text == text)
                    return e.note;
            return std::optional<QString>();
        };
        QCOMPARE(noteOf(u"alpha"_s), std::optional<QString>(u"check this"_s));
        QCOMPARE(noteOf(u"beta"_s), std::nullopt);
        QVERIFY2(reordered, "the drag over the note moved no entry");
        QCOMPARE(list->draggedEntryID(), std::nullopt);
    }

    void rowDroppedOnTheSearchFieldSearchesNothing()
    {
        StoreHarness h;
        StoreSnapshot snapshot;
        for (int n = 0; n < 5; ++n)
            snapshot.selections.append(LibraryFixtures::selection(n));
        h.writeLibrary(snapshot);
        Store& store = h.open();
        LibraryEnvironment environment;
        environment.icon = [](const Selection&) { return QIcon(); };
        ContentView view(store, environment);
        view.setGeometry(40, 40, 1120, 660);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(300);
        QLineEdit& search = view.searchField();
        DragSeen seen(&search);
        LibrarySelectionList& list = view.list();
        const QPoint row = list.viewport()->mapToGlobal(list.visualRect(list.model()->index(2, 0)).center());
        const QPoint field = search.mapToGlobal(search.rect().center());
        QVERIFY(runGesture({{row}, {field}}));
        QVERIFY2(seen.entered > 0, "the drag never reached the search field");
        QCOMPARE(search.text(), QString());
        QCOMPARE(store.selections().size(), 5);
    }
};

TESSELLON_GUI_TEST_MAIN(TestOwnDragsX11)
#include "tst_OwnDragsX11.moc"
