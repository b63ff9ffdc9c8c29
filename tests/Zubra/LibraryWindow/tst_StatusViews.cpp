#include "ReviewPng.h"
#include "Zubra/LibraryWindow/StatusViews.h"
#include "support/TestMain.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(EmptyStateScope)

class TestStatusViews : public QObject
{
    Q_OBJECT

private slots:
    void emptyStateCases_data();
    void emptyStateCases();
    void emptyStateView();
    void statusTexts_data();
    void statusTexts();
    void revealOnlyWhereAllowed_data();
    void revealOnlyWhereAllowed();
    void permissionBanner();
};

void TestStatusViews::emptyStateCases_data()
{
    QTest::addColumn<bool>("filtering");
    QTest::addColumn<bool>("needsAccessibility");
    QTest::addColumn<QString>("search");
    QTest::addColumn<EmptyStateScope>("scope");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("subtitle");

    QTest::newRow("search trimmed") << true << false << u"  moon \n"_qs << EmptyStateScope::group
                                    << u"magnifyingglass"_qs << u"No Search Results"_qs
                                    << u"No captures match \u201Cmoon\u201D."_qs;
    QTest::newRow("blank search in a group")
        << true << false << u"   "_qs << EmptyStateScope::group << u"folder"_qs << u"No Captures Here"_qs
        << u"This group does not contain any captures."_qs;
    QTest::newRow("source") << true << false << QString() << EmptyStateScope::source << u"link"_qs
                            << u"No Captures Here"_qs << u"This source does not contain any captures."_qs;
    QTest::newRow("search text without filtering")
        << false << false << u"moon"_qs << EmptyStateScope::library << u"text.quote"_qs << u"Nothing Here Yet"_qs
        << u"Select text anywhere on your computer and press Ctrl+Alt+Super+C to save it here (or click the "
           u"viewfinder button)."_qs;
    QTest::newRow("welcome") << false << true << QString() << EmptyStateScope::library << u"text.quote"_qs
                             << u"Welcome to Tessellon"_qs
                             << u"Turn on your desktop's accessibility support so Tessellon can read selected text, "
                                u"then select anything on your computer and press Ctrl+Alt+Super+C to save it."_qs;
}

void TestStatusViews::emptyStateCases()
{
    QFETCH(bool, filtering);
    QFETCH(bool, needsAccessibility);
    QFETCH(QString, search);
    QFETCH(EmptyStateScope, scope);
    QFETCH(QString, symbol);
    QFETCH(QString, title);
    QFETCH(QString, subtitle);
    const EmptyStateContent content
        = emptyStateContent(filtering, needsAccessibility, search, scope, u"Ctrl+Alt+Super+C"_qs);
    QCOMPARE(content.symbol, symbol);
    QCOMPARE(content.title, title);
    QCOMPARE(content.subtitle, subtitle);
    QCOMPARE(content.offersAccessibility, needsAccessibility);
}

void TestStatusViews::emptyStateView()
{
    EmptyStateView view;
    int turnedOn = 0;
    view.setTurnOnAccessibility([&] { ++turnedOn; });
    view.resize(420, 360);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    auto* button = view.findChild<QPushButton*>();
    QVERIFY(button);
    // The accessibility button shows in every case while support is missing.
    for (EmptyStateScope scope : {EmptyStateScope::library, EmptyStateScope::group, EmptyStateScope::source}) {
        view.setState(true, true, u"x"_qs, scope, u"Ctrl+Alt+Super+C"_qs);
        QVERIFY(button->isVisible());
        view.setState(false, false, {}, scope, u"Ctrl+Alt+Super+C"_qs);
        QVERIFY(!button->isVisible());
    }
    view.setState(false, true, {}, EmptyStateScope::library, u"Ctrl+Alt+Super+C"_qs);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(turnedOn, 1);
    writeReviewPng(view, u"empty-welcome"_qs);

    // A subtitle longer than three lines is cut after the third.
    view.setState(true, false, QString(400, u'w').replace(u"wwwww"_qs, u"word "_qs), EmptyStateScope::library, {});
    QLabel* subtitle = nullptr;
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->text().startsWith(u"No captures"_qs))
            subtitle = label;
    }
    QVERIFY(subtitle);
    QCOMPARE(subtitle->text().count(u'\n'), 2);
    QVERIFY(subtitle->text().endsWith(u"\u2026"_qs));
    writeReviewPng(view, u"empty-search-long"_qs);
}

void TestStatusViews::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("reveal");
    QTest::newRow("ready") << int(StorePersistenceStatus::ready) << u"checkmark.circle.fill"_qs
                           << u"Local library ready"_qs
                           << u"Tessellon stores this library and its backup on this computer."_qs << false;
    QTest::newRow("recovered") << int(StorePersistenceStatus::recoveredFromBackup)
                               << u"arrow.counterclockwise.circle.fill"_qs << u"Library recovered"_qs
                               << u"Tessellon restored a known-good local backup and preserved the unreadable data."_qs
                               << false;
    QTest::newRow("unreadable") << int(StorePersistenceStatus::unreadablePrimary)
                                << u"exclamationmark.triangle.fill"_qs << u"Library unavailable"_qs
                                << u"Tessellon could not open the library. Restore a valid library or backup file, "
                                   u"then relaunch Tessellon."_qs
                                << true;
    QTest::newRow("incompatible") << int(StorePersistenceStatus::incompatibleVersion)
                                  << u"exclamationmark.triangle.fill"_qs << u"Library version not supported"_qs
                                  << u"The library or backup uses a format this version of Tessellon cannot open. Both "
                                     u"files are unchanged. Open them with a compatible version of Tessellon."_qs
                                  << false;
    QTest::newRow("backup unavailable") << int(StorePersistenceStatus::backupUnavailable)
                                        << u"exclamationmark.triangle.fill"_qs << u"Backup unavailable"_qs
                                        << u"The library is open, but Tessellon could not refresh its local backup."_qs
                                        << false;
    QTest::newRow("save failed") << int(StorePersistenceStatus::saveFailed) << u"exclamationmark.triangle.fill"_qs
                                 << u"Changes not saved"_qs
                                 << u"Tessellon could not save the latest changes. The current library remains open."_qs
                                 << false;
}

void TestStatusViews::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, symbol);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(bool, reveal);
    const PersistenceStatusContent content
        = persistenceStatusContent(StorePersistenceStatus(StorePersistenceStatus::Value(status)));
    QCOMPARE(content.symbol, symbol);
    QCOMPARE(content.title, title);
    QCOMPARE(content.message, message);
    QCOMPARE(content.offersReveal, reveal);

    PersistenceStatusBanner banner(StorePersistenceStatus::Value(status), {});
    banner.resize(460, banner.sizeHint().height());
    banner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&banner));
    QStringList texts;
    for (QLabel* label : banner.findChildren<QLabel*>())
        texts.append(label->text());
    QVERIFY(texts.contains(title));
    QVERIFY(texts.contains(message));
    writeReviewPng(banner, u"status-banner-"_qs + StorePersistenceStatus(StorePersistenceStatus::Value(status)).name());
}

void TestStatusViews::revealOnlyWhereAllowed_data()
{
    QTest::addColumn<int>("status");
    for (int status = StorePersistenceStatus::ready; status <= StorePersistenceStatus::saveFailed; ++status)
        QTest::newRow(qPrintable(StorePersistenceStatus(StorePersistenceStatus::Value(status)).name())) << status;
}

void TestStatusViews::revealOnlyWhereAllowed()
{
    QFETCH(int, status);
    const StorePersistenceStatus persistence = StorePersistenceStatus::Value(status);
    int revealed = 0;
    PersistenceStatusBanner banner(persistence, [&] { ++revealed; });
    banner.show();
    const bool offers = persistence == StorePersistenceStatus::unreadablePrimary;
    QCOMPARE(banner.revealButton() != nullptr, offers);
    if (offers) {
        QVERIFY(banner.revealButton()->isVisible());
        QTest::mouseClick(banner.revealButton(), Qt::LeftButton);
        QCOMPARE(revealed, 1);
    }
    // The banner follows a status change.
    banner.setStatus(StorePersistenceStatus::incompatibleVersion);
    QVERIFY(!banner.revealButton());

    if (const std::optional<LibraryRecoveryPresentation> recovery = persistence.unavailableLibraryPresentation()) {
        UnavailableLibraryView view(*recovery, [&] { ++revealed; });
        view.resize(480, 360);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.revealButton() != nullptr, recovery->canRevealLibraryFolder());
        QStringList texts;
        for (QLabel* label : view.findChildren<QLabel*>())
            texts.append(label->text());
        QVERIFY(texts.contains(recovery->title()));
        QVERIFY(texts.contains(recovery->message()));
        if (view.revealButton()) {
            QTest::mouseClick(view.revealButton(), Qt::LeftButton);
            QCOMPARE(revealed, 2);
        }
        writeReviewPng(view, u"unavailable-"_qs + persistence.name());
    }
}

void TestStatusViews::permissionBanner()
{
    int turnedOn = 0;
    PermissionBanner banner([&] { ++turnedOn; });
    banner.resize(460, banner.sizeHint().height());
    banner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&banner));
    auto* button = banner.findChild<QPushButton*>();
    QVERIFY(button);
    QCOMPARE(button->text(), u"Turn On Accessibility"_qs);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(turnedOn, 1);
    writeReviewPng(banner, u"permission-banner"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestStatusViews)
#include "tst_StatusViews.moc"
