// A text field told to refuse Tessellon's own drags turns away a drag that carries the mark, so the
// drag goes on to the field's parent, and still takes any other text.

#include "ZubraCore/Drag/OwnDrags.h"
#include "support/TestMain.h"

#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

class TestOwnDrags : public QObject
{
    Q_OBJECT

private slots:
    void textFieldsRefuseOnlyMarkedDrags_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<bool>("accepted");
        for (const QString& field : {u"line edit"_s, u"text editor"_s}) {
            QTest::newRow(qPrintable(field + u", own drag"_s)) << field << true << true << false;
            QTest::newRow(qPrintable(field + u", another program's text"_s)) << field << false << true << true;
            QTest::newRow(qPrintable(field + u", own drag, field not told"_s)) << field << true << false << true;
        }
    }
    void textFieldsRefuseOnlyMarkedDrags()
    {
        QFETCH(QString, field);
        QFETCH(bool, marked);
        QFETCH(bool, refusing);
        QFETCH(bool, accepted);
        QLineEdit line;
        QPlainTextEdit editor;
        // A text editor takes its drags in its viewport.
        QWidget* target = field == u"line edit"_s ? static_cast<QWidget*>(&line) : editor.viewport();
        if (refusing)
            OwnDrags::refuseIn(target);
        QMimeData data;
        data.setText(u"tessellonsel:10000001-0000-0002-4A5B-6C7D8E9FA0B1"_s);
        if (marked)
            OwnDrags::mark(data);
        QCOMPARE(OwnDrags::isOwn(&data), marked);
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
    }
};

TESSELLON_GUI_TEST_MAIN(TestOwnDrags)
#include "tst_OwnDrags.moc"
