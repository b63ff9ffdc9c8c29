#include "Zubra/Shell/EditAvailability.h"
#include "support/TestMain.h"

#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTextEdit>
#include <QVBoxLayout>

class TestEditAvailability : public QObject
{
    Q_OBJECT

private slots:
    void undoFollowsTheFocusedField();
};

void TestEditAvailability::undoFollowsTheFocusedField()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* list = new QListView(&window);
    auto* field = new QLineEdit(&window);
    auto* readOnly = new QTextEdit(&window);
    readOnly->setReadOnly(true);
    readOnly->setPlainText(u"passage"_qs);
    layout->addWidget(list);
    layout->addWidget(field);
    layout->addWidget(readOnly);
    QAction undo(u"Undo"_qs);
    QAction redo(u"Redo"_qs);
    EditAvailability::follow(&undo, &redo);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // A list (the library's rows) has nothing to undo: a deletion there is not undoable.
    list->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QVERIFY(!undo.isEnabled());
    QVERIFY(!redo.isEnabled());

    field->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), field);
    QVERIFY(!undo.isEnabled());
    QTest::keyClicks(field, u"abc"_qs);
    QVERIFY(undo.isEnabled());
    QVERIFY(!redo.isEnabled());
    field->undo();
    QVERIFY(redo.isEnabled());

    readOnly->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), readOnly);
    QVERIFY(!undo.isEnabled());
    QVERIFY(!redo.isEnabled());
}

TESSELLON_GUI_TEST_MAIN(TestEditAvailability)
#include "tst_EditAvailability.moc"
