// The first-run sheet: its texts, the access button only when access is missing, Return for
// "Get Started", and a button that does nothing without a shell.

#include "ReviewImage.h"
#include "Zubra/Shell/WelcomeView.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "Zubra/Widgets/FocusRing.h"
#include "Zubra/Widgets/ShellActions.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {
class CountingShell final : public ShellActions
{
public:
    void captureNow() override { ++captures; }
    void openAccessibilitySettings() override { ++opened; }
    bool isTrusted() override { return false; }
    QString hotkeyDisplay() override { return QStringLiteral("Ctrl+Alt+Super+C"); }
    int captures = 0;
    int opened = 0;
};

QStringList texts(const QWidget& view)
{
    QStringList result;
    for (const QLabel* label : view.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            result.append(label->text());
    return result;
}

QStringList buttons(const QWidget& view)
{
    QStringList result;
    for (const QPushButton* button : view.findChildren<QPushButton*>())
        result.append(button->text());
    return result;
}
} // namespace

class TestWelcomeView : public QObject
{
    Q_OBJECT

private slots:
    void textsAndButtons_data()
    {
        QTest::addColumn<bool>("needsAccessibility");
        QTest::addColumn<QString>("hotkey");
        QTest::addColumn<QString>("captureDetail");
        QTest::newRow("access missing") << true << "Ctrl+Alt+Super+C"
                                        << "Select text in another app, then press Ctrl+Alt+Super+C to save it with "
                                           "its source when available.";
        QTest::newRow("access granted") << false << "Shift+F"
                                        << "Select text in another app, then press Shift+F to save it with its "
                                           "source when available.";
        QTest::newRow("empty shortcut") << false << ""
                                        << "Select text in another app, then press  to save it with its source when "
                                           "available.";
    }
    void textsAndButtons()
    {
        QFETCH(bool, needsAccessibility);
        QFETCH(QString, hotkey);
        QFETCH(QString, captureDetail);
        WelcomeView view(needsAccessibility, hotkey, nullptr);
        QVERIFY2(texts(view).contains(captureDetail), qPrintable(texts(view).join(u'|')));
        if (needsAccessibility)
            QCOMPARE(buttons(view), (QStringList {"Turn On Accessibility", "Get Started"}));
        else
            QCOMPARE(buttons(view), QStringList {"Get Started"});
        QCOMPARE(view.accessibilityButton() != nullptr, needsAccessibility);
    }

    void accessButtonAsksTheShellAndKeepsTheSheet()
    {
        CountingShell shell;
        WelcomeView view(true, shell.hotkeyDisplay(), &shell);
        QSignalSpy dismissed(&view, &WelcomeView::dismissRequested);
        view.accessibilityButton()->click();
        QCOMPARE(shell.opened, 1);
        QCOMPARE(dismissed.size(), 0);
        QCOMPARE(shell.captures, 0);
    }

    void withoutAShellTheAccessButtonDoesNothing()
    {
        WelcomeView view(true, QStringLiteral("Ctrl+C"), nullptr);
        QSignalSpy dismissed(&view, &WelcomeView::dismissRequested);
        view.accessibilityButton()->click();
        QCOMPARE(dismissed.size(), 0);
    }

    void returnMeansGetStarted()
    {
        QDialog sheet;
        auto* layout = new QVBoxLayout(&sheet);
        auto* view = new WelcomeView(true, QStringLiteral("Ctrl+Alt+Super+C"), nullptr, &sheet);
        layout->addWidget(view);
        QSignalSpy dismissed(view, &WelcomeView::dismissRequested);
        QSignalSpy accepted(&sheet, &QDialog::accepted);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        // Even with the access button focused, Return is "Get Started".
        view->accessibilityButton()->setFocus();
        QTest::keyClick(view->accessibilityButton(), Qt::Key_Return);
        QCOMPARE(dismissed.size(), 1);
        QCOMPARE(accepted.size(), 1);
    }

    // Presenting again while a sheet is open brings that one forward; the sheet has the keyboard
    // from the start, so Return closes it; afterwards a new one may open.
    void oneSheetAtATimeWithTheKeyboard()
    {
        CountingShell shell;
        QWidget window;
        window.resize(600, 500);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int dismissed = 0;
        QDialog* sheet = WelcomeView::presentSheet(&window, shell, [&dismissed] { ++dismissed; });
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(WelcomeView::presentSheet(&window, shell, [&dismissed] { ++dismissed; }), sheet);
        QCOMPARE(window.findChildren<WelcomeView*>().size(), 1);
        QTRY_COMPARE(QApplication::activeWindow(), sheet);
        auto* view = sheet->findChild<WelcomeView*>();
        QCOMPARE(QApplication::focusWidget(), view->getStartedButton());
        // The focused "Get Started" is marked by a ring around it, not by its filling alone.
        auto* ring = sheet->findChild<FocusRing*>();
        QVERIFY(ring);
        QTRY_COMPARE(ring->target(), static_cast<QWidget*>(view->getStartedButton()));
        QVERIFY(ring->geometry().contains(
            QRect(view->getStartedButton()->mapTo(ring->parentWidget(), QPoint()), view->getStartedButton()->size())));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dismissed, 1);
        QVERIFY(!sheet->isVisible());
        QDialog* next = WelcomeView::presentSheet(&window, shell, {});
        QVERIFY(next != sheet && next->isVisible());
    }

    // The sheet opens at its ideal width, not squeezed to its minimum; the window it sits on
    // does not decide it.
    void sheetOpensAtItsIdealWidth_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<bool>("dark");
        QTest::newRow("small window") << QSize(480, 400) << false;
        QTest::newRow("large window, dark") << QSize(1100, 700) << true;
    }
    void sheetOpensAtItsIdealWidth()
    {
        QFETCH(QSize, window);
        QFETCH(bool, dark);
        const QPalette former = QApplication::palette();
        QApplication::setPalette(AppScreenshotExporter::palette(
            dark ? AppScreenshotExporter::ColorScheme::dark : AppScreenshotExporter::ColorScheme::light));
        const auto restore = qScopeGuard([&former] { QApplication::setPalette(former); });
        CountingShell shell;
        QWidget main;
        main.resize(window);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QDialog* sheet = WelcomeView::presentSheet(&main, shell, {});
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QCOMPARE(sheet->width(), 500);
        QCOMPARE(sheet->findChild<WelcomeView*>()->minimumWidth(), 440);
        ReviewImage::saveForReview(sheet->grab().toImage(),
            QStringLiteral("welcome-sheet-") + (dark ? QStringLiteral("dark") : QStringLiteral("light")));
        sheet->close();
    }

    void layoutKeepsEveryTextWhole()
    {
        for (bool needs : {true, false}) {
            WelcomeView view(needs, QStringLiteral("Ctrl+Alt+Super+C"), nullptr);
            view.resize(500, view.heightForWidth(500) > 0 ? view.heightForWidth(500) : view.sizeHint().height());
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QVERIFY(view.minimumWidth() >= 440);
            // Each wrapped text gets the height its lines need: nothing is cut off below.
            for (const QLabel* label : view.findChildren<QLabel*>()) {
                if (label->text().isEmpty())
                    continue;
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
                QVERIFY2(label->geometry().right() <= view.width(), qPrintable(label->text()));
            }
            ReviewImage::saveForReview(
                view.grab().toImage(), needs ? QStringLiteral("welcome-access") : QStringLiteral("welcome-trusted"));
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestWelcomeView)
#include "tst_WelcomeView.moc"
