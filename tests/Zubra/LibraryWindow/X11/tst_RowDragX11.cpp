// A real drag on the X server: a row of the library list dragged with the pointer onto a widget
// of another window that accepts plain text receives the selection payload.

#include "Zubra/LibraryWindow/LibraryEnvironment.h"
#include "Zubra/LibraryWindow/LibrarySelectionList.h"
#include "Zubra/LibraryWindow/LibrarySelectionState.h"
#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "ZubraCore/Models/VisibleSelectionsModel.h"
#include "support/StoreHarness.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QTest>

namespace {

class DropTarget : public QWidget
{
public:
    DropTarget() { setAcceptDrops(true); }
    QStringList dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasText())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override
    {
        dropped.append(event->mimeData()->text());
        event->acceptProposedAction();
    }
};

} // namespace

class TestRowDragX11 : public QObject
{
    Q_OBJECT

private slots:
    void rowDragReachesAnotherWindow();
};

void TestRowDragX11::rowDragReachesAnotherWindow()
{
    if (!X11Programs::available(u"xdotool"_qs))
        QSKIP("xdotool is not installed");
    StoreHarness h;
    StoreSnapshot snapshot;
    for (int n = 0; n < 5; ++n)
        snapshot.selections.append(LibraryFixtures::selection(n));
    h.writeLibrary(snapshot);
    Store& store = h.open();
    VisibleSelectionsModel model(&store);
    LibrarySelectionState state;
    LibraryEnvironment environment;
    environment.icon = [](const Selection&) { return QIcon(); };
    LibrarySelectionList list(store, model, state, environment);
    list.setGeometry(20, 40, 420, 320);
    list.show();
    DropTarget target;
    target.setGeometry(560, 40, 220, 220);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    // The window manager places both; the gesture's points come from where they ended up.
    QVERIFY(X11Wait::placed(list.windowHandle()));
    QVERIFY(X11Wait::placed(target.windowHandle()));

    const QPoint from = list.viewport()->mapToGlobal(list.visualRect(model.index(2, 0)).center());
    const QPoint to = target.mapToGlobal(target.rect().center());
    const auto at = [](const QPoint& p) { return QStringList {u"mousemove"_qs, QString::number(p.x()), QString::number(p.y())}; };
    QStringList script = at(from) + QStringList {u"sleep"_qs, u"0.2"_qs, u"mousedown"_qs, u"1"_qs};
    for (int step = 1; step <= 8; ++step) {
        script += QStringList {u"sleep"_qs, u"0.08"_qs} + at(from + (to - from) * step / 8);
    }
    script += QStringList {u"sleep"_qs, u"0.3"_qs} + at(to + QPoint(2, 2))
        + QStringList {u"sleep"_qs, u"0.3"_qs, u"mouseup"_qs, u"1"_qs};
    // One xdotool process runs the whole gesture: the drag's own loop keeps this thread busy.
    QProcess xdotool;
    xdotool.start(u"xdotool"_qs, script);
    QVERIFY(xdotool.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!target.dropped.isEmpty(), 15000);
    QCOMPARE(target.dropped.size(), 1);
    QCOMPARE(SelectionDragIDs::ids(target.dropped[0]), std::optional(QSet<QUuid> {model.idAt(2)}));
    // The dragged row was not selected before and is not selected after.
    QVERIFY(state.selectedIDs().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(xdotool.state() == QProcess::NotRunning, 10000);
}

TESSELLON_GUI_TEST_MAIN(TestRowDragX11)
#include "tst_RowDragX11.moc"
