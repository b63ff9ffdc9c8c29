#include "support/StoreHarness.h"
#include "Zubra/LibraryWindow/NamingSheet.h"
#include "Zubra/LibraryWindow/NamingSheetPresenter.h"
#include "support/TestMain.h"

#include <QAccessible>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class TestNamingSheet : public QObject
{
    Q_OBJECT

private slots:
    void validity_data();
    void validity();
    void returnCommitsOnce_data();
    void returnCommitsOnce();
    void escapeAsksThePresenter();
    void buttonsAndEdits();
    void newGroupTrimsLineBreaks_data();
    void newGroupTrimsLineBreaks();
    void newGroupMembers();
    void newGroupReturnMakesOneGroup();
    void newGroupRefusedWhileReadOnly();
    void cancelClearsPendingMembers();
    void rename_data();
    void rename();
    void deleteAlert();
};

void TestNamingSheet::validity_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("spaces") << u"   "_qs << false;
    QTest::newRow("tabs and newlines") << u"\t\n \r\n"_qs << false;
    QTest::newRow("word") << u"Research"_qs << true;
    QTest::newRow("padded word") << u"  Research \n"_qs << true;
}

void TestNamingSheet::validity()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    NameSheet sheet(u"New Group"_qs, u"Create"_qs, name);
    QCOMPARE(sheet.actionButton()->isEnabled(), valid);
    // Pasting the same text gives the same answer.
    NameSheet typed(u"New Group"_qs, u"Create"_qs, {});
    QVERIFY(!typed.actionButton()->isEnabled());
    typed.field()->insert(name);
    QCOMPARE(typed.actionButton()->isEnabled(), valid);
}

void TestNamingSheet::returnCommitsOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("commits");
    QTest::newRow("valid") << u"Research"_qs << 1;
    QTest::newRow("blank") << u"  "_qs << 0;
}

void TestNamingSheet::returnCommitsOnce()
{
    QFETCH(QString, name);
    QFETCH(int, commits);
    NameSheet sheet(u"New Group"_qs, u"Create"_qs, name);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QSignalSpy committed(&sheet, &NameSheet::commitRequested);
    QTest::keyClick(sheet.field(), Qt::Key_Return);
    QTest::keyClick(sheet.field(), Qt::Key_Enter);
    QCOMPARE(committed.count(), commits * 2);
    QVERIFY(sheet.isVisible()); // only the presenter closes it
    QCOMPARE(sheet.name(), name); // untrimmed
}

void TestNamingSheet::escapeAsksThePresenter()
{
    NameSheet sheet(u"New Group"_qs, u"Create"_qs, u"Research"_qs);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QSignalSpy cancelled(&sheet, &NameSheet::cancelRequested);
    QTest::keyClick(sheet.field(), Qt::Key_Escape);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(sheet.isVisible());
    sheet.close();
    QCOMPARE(cancelled.count(), 2);
    QVERIFY(sheet.isVisible());
    sheet.dismiss();
    QVERIFY(!sheet.isVisible());
}

void TestNamingSheet::buttonsAndEdits()
{
    NameSheet sheet(u"Rename Group"_qs, u"Rename"_qs, u"Old"_qs);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(sheet.actionButton()->text(), u"Rename"_qs);
    QVERIFY(sheet.field()->hasFocus());
    // A screen reader names the field; the placeholder is only its description.
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(sheet.field());
    QVERIFY(field);
    QCOMPARE(field->text(QAccessible::Name), u"Name"_qs);
    QSignalSpy edited(&sheet, &NameSheet::nameEdited);
    QSignalSpy committed(&sheet, &NameSheet::commitRequested);
    QSignalSpy cancelled(&sheet, &NameSheet::cancelRequested);
    sheet.field()->end(false);
    QTest::keyClick(sheet.field(), Qt::Key_X);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.last().first().toString(), u"Oldx"_qs);
    sheet.setName(u"New"_qs);
    QCOMPARE(edited.count(), 1);
    QTest::mouseClick(sheet.actionButton(), Qt::LeftButton);
    QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
    QCOMPARE(committed.count(), 1);
    QCOMPARE(cancelled.count(), 1);
    sheet.setName(u" "_qs);
    QTest::mouseClick(sheet.actionButton(), Qt::LeftButton);
    QCOMPARE(committed.count(), 1);
}

void TestNamingSheet::newGroupTrimsLineBreaks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("pasted line break") << u"Research\n"_qs << u"Research"_qs;
    QTest::newRow("both ends") << u"\r\n\t Reading list \n"_qs << u"Reading list"_qs;
    QTest::newRow("plain") << u"Notes"_qs << u"Notes"_qs;
}

void TestNamingSheet::newGroupTrimsLineBreaks()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QWidget window;
    StoreHarness harness;
    Store& store = harness.open();
    GroupSheetPresenter presenter(store, &window);
    QSignalSpy created(&presenter, &GroupSheetPresenter::groupCreated);
    presenter.requestNewGroup();
    QVERIFY(presenter.newGroupSheet());
    presenter.newGroupSheet()->field()->insert(typed);
    QCOMPARE(presenter.newGroupName(), typed);
    QVERIFY(presenter.createGroupAndClose());
    QCOMPARE(store.groups().size(), 1);
    QCOMPARE(store.groups().first().name, stored);
    QCOMPARE(store.groups().first().colorHex, u"#4F8EF7"_qs);
    QCOMPARE(created.count(), 1);
    QCOMPARE(created.first().first().toUuid(), store.groups().first().id);
    QVERIFY(!presenter.newGroupSheet());
}

void TestNamingSheet::newGroupMembers()
{
    QWidget window;
    StoreHarness harness;
    Store& store = harness.open();
    const Selection a = capture(u"a"_qs);
    const Selection b = capture(u"b"_qs);
    const Selection c = capture(u"c"_qs);
    for (const Selection& s : {a, b, c})
        store.add(s);
    GroupSheetPresenter presenter(store, &window);

    // From the toolbar: exactly the chosen ones.
    presenter.requestNewGroupWith({a.id, b.id});
    presenter.newGroupSheet()->field()->insert(u"Two"_qs);
    const std::optional<SelectionGroup> two = presenter.createGroupAndClose();
    QVERIFY(two);
    QCOMPARE(store.selectionsIn(two->id).size(), 2);
    QVERIFY(!presenter.groupPendingSelectionIDs());

    // From a row: that one selection; the sheet opens with an empty name again.
    presenter.requestNewGroupFor(c);
    QCOMPARE(presenter.newGroupName(), QString());
    presenter.newGroupSheet()->field()->insert(u"One"_qs);
    const std::optional<SelectionGroup> one = presenter.createGroupAndClose();
    QVERIFY(one);
    QCOMPARE(store.selectionsIn(one->id).size(), 1);
    QCOMPARE(store.selectionsIn(one->id).first().id, c.id);
    QVERIFY(!presenter.groupPendingSelection());

    // From the sidebar: no members.
    presenter.requestNewGroup();
    presenter.newGroupSheet()->field()->insert(u"None"_qs);
    const std::optional<SelectionGroup> none = presenter.createGroupAndClose();
    QVERIFY(none);
    QVERIFY(store.selectionsIn(none->id).isEmpty());
}

void TestNamingSheet::newGroupReturnMakesOneGroup()
{
    QWidget window;
    window.show();
    StoreHarness harness;
    Store& store = harness.open();
    GroupSheetPresenter presenter(store, &window);
    presenter.requestNewGroup();
    NameSheet* sheet = presenter.newGroupSheet();
    QVERIFY(QTest::qWaitForWindowExposed(sheet));
    QTest::keyClicks(sheet->field(), u"Research"_qs);
    QTest::keyClick(sheet->field(), Qt::Key_Return);
    QCOMPARE(store.groups().size(), 1);
    QVERIFY(!presenter.newGroupSheet());
}

void TestNamingSheet::newGroupRefusedWhileReadOnly()
{
    QWidget window;
    StoreHarness harness;
    QVERIFY(LibraryFixtures::writeFile(harness.path(), "not a library"));
    Store& store = harness.open();
    QVERIFY(!store.canModifyLibrary());
    GroupSheetPresenter presenter(store, &window);
    presenter.requestNewGroup();
    presenter.newGroupSheet()->field()->insert(u"Research"_qs);
    QVERIFY(!presenter.createGroupAndClose());
    QVERIFY(store.groups().isEmpty());
    QVERIFY(presenter.newGroupSheet()); // stays open
}

void TestNamingSheet::cancelClearsPendingMembers()
{
    QWidget window;
    StoreHarness harness;
    Store& store = harness.open();
    GroupSheetPresenter presenter(store, &window);
    presenter.requestNewGroupWith({QUuid::createUuid()});
    presenter.requestNewGroupFor(capture(u"x"_qs));
    QVERIFY(presenter.groupPendingSelection());
    QTest::keyClick(presenter.newGroupSheet()->field(), Qt::Key_Escape);
    QVERIFY(!presenter.newGroupSheet());
    QVERIFY(!presenter.groupPendingSelection());
    QVERIFY(!presenter.groupPendingSelectionIDs());
    QVERIFY(store.groups().isEmpty());
}

void TestNamingSheet::rename_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("closes");
    QTest::newRow("trimmed") << u" Renamed\n"_qs << u"Renamed"_qs << true;
    QTest::newRow("blank") << u" \n "_qs << u"Old"_qs << false;
}

void TestNamingSheet::rename()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, closes);
    QWidget window;
    StoreHarness harness;
    Store& store = harness.open();
    const SelectionGroup group = *store.addGroup(u"Old"_qs, u"#112233"_qs);
    GroupSheetPresenter presenter(store, &window);
    presenter.requestRename(group);
    QCOMPARE(presenter.renameSheet()->name(), u"Old"_qs);
    presenter.renameSheet()->field()->selectAll();
    presenter.renameSheet()->field()->insert(typed);
    presenter.renameGroupAndClose();
    QCOMPARE(store.groups().first().name, stored);
    QCOMPARE(presenter.renameSheet() == nullptr, closes);
    QCOMPARE(presenter.groupToRename().has_value(), !closes);
    if (!closes) {
        presenter.cancelRename();
        QVERIFY(!presenter.renameSheet());
        QVERIFY(!presenter.groupToRename());
    }
}

void TestNamingSheet::deleteAlert()
{
    QWidget window;
    StoreHarness harness;
    Store& store = harness.open();
    Selection member = capture(u"kept"_qs);
    store.add(member);
    const SelectionGroup group = *store.createGroup(u"Gone"_qs, u"#112233"_qs, {member.id});
    GroupSheetPresenter presenter(store, &window);
    QSignalSpy deleting(&presenter, &GroupSheetPresenter::groupDeleting);

    presenter.requestDelete(group);
    QMessageBox* alert = presenter.deleteAlert();
    QVERIFY(alert);
    QCOMPARE(alert->text(), u"Delete Group?"_qs);
    QCOMPARE(alert->informativeText(),
        u"The captures will stay in the library, but their membership in this group will be removed."_qs);
    alert->button(QMessageBox::Cancel)->click();
    QVERIFY(!presenter.groupPendingDeletion());
    QCOMPARE(store.groups().size(), 1);

    presenter.requestDelete(group);
    QPushButton* remove = nullptr;
    for (QAbstractButton* button : presenter.deleteAlert()->buttons()) {
        if (button->text() == u"Delete Group"_qs)
            remove = qobject_cast<QPushButton*>(button);
    }
    QVERIFY(remove);
    remove->click();
    QVERIFY(store.groups().isEmpty());
    QCOMPARE(store.selections().size(), 1);
    QVERIFY(store.selections().first().groupIDs.isEmpty());
    QCOMPARE(deleting.count(), 1);
    QVERIFY(!presenter.groupPendingDeletion());
}

TESSELLON_GUI_TEST_MAIN(TestNamingSheet)
#include "tst_NamingSheet.moc"
