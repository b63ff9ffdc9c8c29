// A text field told to refuse Tessellon's own drags turns away the selection payload, so the drag
// goes on to the field's parent, and still takes any other text. (A row dragged by a marked widget
// needs a drag running in this process: the X11 test drags one.)

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
    void textFieldsRefuseOnlyOwnDrags_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refusing");
        QTest::addColumn<bool>("accepted");
        const QString payload = u"tessellonsel:10000001-0000-0002-4A5B-6C7D8E9FA0B1"_s;
        for (const QString& field : {u"line edit"_s, u"text editor"_s}) {
            QTest::newRow(qPrintable(field + u", selections"_s)) << field << payload << true << false;
            QTest::newRow(qPrintable(field + u", other text"_s)) << field << u"check this"_s << true << true;
            QTest::newRow(qPrintable(field + u", prefix in another case"_s))
                << field << u"Tessellonsel:10000001-0000-0002-4A5B-6C7D8E9FA0B1"_s << true << true;
            QTest::newRow(qPrintable(field + u", selections, field not told"_s)) << field << payload << false << true;
        }
    }
    void textFieldsRefuseOnlyOwnDrags()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, refusing);
        QFETCH(bool, accepted);
        QLineEdit line;
        QPlainTextEdit editor;
        // A text editor takes its drags in its viewport.
        QWidget* target = field == u"line edit"_s ? static_cast<QWidget*>(&line) : editor.viewport();
        if (refusing)
            OwnDrags::refuseIn(target);
        QMimeData data;
        data.setText(text);
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
    }
};

TESSELLON_GUI_TEST_MAIN(TestOwnDrags)
#include "tst_OwnDrags.moc"
