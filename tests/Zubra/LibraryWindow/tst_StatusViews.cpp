#include "support/WidgetSnapshot.h"
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
    void statusBanner_data();
    void statusBanner();
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
                             << u"Turn on your desktop's accessibility support, then select text anywhere and press "
                                u"Ctrl+Alt+Super+C to save it."_qs;
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
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(view), u"empty-welcome.png"_qs);
    // The welcome sentence fits its three lines whole, the longest hotkey text included.
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->text().startsWith(u"Turn on"_qs)) {
            QVERIFY2(!label->text().endsWith(u"\u2026"_qs), qPrintable(label->text()));
            QVERIFY(label->text().simplified().endsWith(u"Ctrl+Alt+Super+C to save it."_qs));
        }
    }

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
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(view), u"empty-search-long.png"_qs);
}

void TestStatusViews::statusBanner_data()
{
    QTest::addColumn<int>("status");
    for (int status = StorePersistenceStatus::ready; status <= StorePersistenceStatus::saveFailed; ++status)
        QTest::newRow(qPrintable(StorePersistenceStatus(StorePersistenceStatus::Value(status)).name())) << status;
}

void TestStatusViews::statusBanner()
{
    QFETCH(int, status);
    const StorePersistenceStatus persistence = StorePersistenceStatus::Value(status);
    const PersistenceStatusContent content = persistenceStatusContent(persistence);
    int revealed = 0;
    PersistenceStatusBanner banner(persistence, [&] { ++revealed; });
    banner.resize(460, banner.sizeHint().height());
    banner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&banner));
    QStringList shown;
    for (QLabel* label : banner.findChildren<QLabel*>())
        shown.append(label->text());
    QVERIFY(!content.title.isEmpty() && shown.contains(content.title));
    QVERIFY(!content.message.isEmpty() && shown.contains(content.message));
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(banner), u"status-banner-"_qs + persistence.name() + u".png"_qs);
    const bool offers = persistence == StorePersistenceStatus::unreadablePrimary;
    QCOMPARE(content.offersReveal, offers);
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
        // The banner and the view tell the same story.
        QCOMPARE(content.title, recovery->title());
        QCOMPARE(content.message, recovery->message());
        QVERIFY(texts.contains(recovery->title()));
        QVERIFY(texts.contains(recovery->message()));
        if (view.revealButton()) {
            QTest::mouseClick(view.revealButton(), Qt::LeftButton);
            QCOMPARE(revealed, 2);
        }
        WidgetSnapshot::saveForReview(WidgetSnapshot::render(view), u"unavailable-"_qs + persistence.name() + u".png"_qs);
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
    WidgetSnapshot::saveForReview(WidgetSnapshot::render(banner), u"permission-banner.png"_qs);
}

TESSELLON_GUI_TEST_MAIN(TestStatusViews)
#include "tst_StatusViews.moc"
