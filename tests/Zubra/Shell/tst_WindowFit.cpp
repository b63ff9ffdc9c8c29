// Every window of the shell opens inside the screen's available area and no minimum size
// exceeds it, at the desktop's scale factor (ctest runs this at 1, 1.5 and 2 on a 1920 x 1080
// screen); the welcome sheet's symbols stay in step with its text; the About dialog shows its
// whole title. Pictures of the windows go to $TESSELLON_REVIEW_DIR when that is set.

#include "../App/AppHarness.h"
#include "Zubra/LibraryWindow/LibrarySymbols.h"
#include "Zubra/Shell/AboutDialog.h"
#include "Zubra/Shell/WelcomeView.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QStyle>

namespace {

class NoShell final : public ShellActions
{
public:
    void captureNow() override { }
    void openAccessibilitySettings() override { }
    bool isTrusted() override { return false; }
    QString hotkeyDisplay() override { return QStringLiteral("Ctrl+Alt+Super+C"); }
};

QString describe(const QWidget* window)
{
    return window->objectName() + u' ' + QDebug::toString(window->frameGeometry()) + QStringLiteral(" min ")
        + QDebug::toString(window->minimumSize()) + QStringLiteral(" screen ")
        + QDebug::toString(QGuiApplication::primaryScreen()->availableGeometry());
}

void saveForReview(QWidget* window, const QString& name)
{
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    WidgetSnapshot::saveForReview(
        window->grab().toImage(), name + QStringLiteral("-scale-") + scale + QStringLiteral(".png"));
}

} // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT

    // The frame inside the available area, and a minimum size that fits it.
    static void verifyFits(QWidget* window)
    {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect available = window->screen()->availableGeometry();
        QVERIFY2(available.contains(window->frameGeometry()), qPrintable(describe(window)));
        QVERIFY2(
            window->minimumSize().width() <= available.width() && window->minimumSize().height() <= available.height(),
            qPrintable(describe(window)));
    }

private slots:
    void screenIsAsConfigured()
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        QCOMPARE(screen->geometry().size() * scale, QSize(1920, 1080));
    }

    void libraryAndSettingsWindows()
    {
        AppHarness h;
        h.trayAvailable = false;
        h.delegate->finishLaunching({"tessellon"});
        QMainWindow* main = h.delegate->mainWindow();
        QVERIFY(main);
        verifyFits(main);
        saveForReview(main, QStringLiteral("library-window"));
        h.delegate->showSettings();
        verifyFits(h.delegate->settingsWindow());
        saveForReview(h.delegate->settingsWindow(), QStringLiteral("settings-window"));

        NoShell shell;
        QDialog* sheet = WelcomeView::presentSheet(main, shell, {});
        verifyFits(sheet);
        // Its ideal width, where the screen has room for it.
        QCOMPARE(sheet->width(), qMin(WelcomeView::sheetIdealWidth, sheet->screen()->availableGeometry().width()));
        saveForReview(sheet, QStringLiteral("welcome-sheet"));
        // Every wrapped text has the lines it needs: nothing is cut off below.
        for (const QLabel* label : sheet->findChildren<QLabel*>()) {
            if (label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        }
        // Each step's symbol is about as tall as its title's line, not a multiple of it.
        for (QLabel* label : sheet->findChildren<QLabel*>()) {
            if (label->pixmap().isNull() || label->parentWidget() == sheet->findChild<WelcomeView*>())
                continue;
            const QLabel* title = label->parentWidget()->findChildren<QLabel*>().value(1);
            QVERIFY(title);
            const qreal symbol = label->pixmap().deviceIndependentSize().height();
            const qreal line = title->fontMetrics().height();
            QVERIFY2(symbol <= 1.5 * line && symbol >= 0.8 * line,
                qPrintable(QString::number(symbol) + QStringLiteral(" against a line of ") + QString::number(line)));
        }
    }

    // The library window's status symbols are as large as asked in logical pixels, at any
    // scale, so they stay in step with the text beside them.
    void statusSymbolsKeepTheirSize()
    {
        const qreal ratio = qApp->devicePixelRatio();
        for (const QString& name : {QStringLiteral("checkmark.shield"), QStringLiteral("exclamationmark.triangle")}) {
            const QPixmap pixmap = LibrarySymbols::pixmap(name, Qt::darkGreen, 14, ratio);
            QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(14, 14));
            QCOMPARE(pixmap.size(), QSize(qRound(14 * ratio), qRound(14 * ratio)));
        }
    }

    void aboutDialog()
    {
        AboutDialog about;
        about.show();
        verifyFits(&about);
        // The title bar shows the whole title (a frame's buttons take about three line heights).
        const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
        QVERIFY2(about.width() >= metrics.horizontalAdvance(about.windowTitle()) + 3 * metrics.height() * 2,
            qPrintable(describe(&about)));
        QStringList texts;
        for (const QLabel* label : about.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                texts << label->text();
        QCOMPARE(texts,
            (QStringList {"Tessellon", AboutDialog::versionLine(), AboutDialog::summary, AboutDialog::copyright}));
        QVERIFY(AboutDialog::versionLine().startsWith(QStringLiteral("Version 1.")));
        const QLabel* icon = about.findChildren<QLabel*>().first();
        QVERIFY(!icon->pixmap().isNull());
        QCOMPARE(icon->pixmap().deviceIndependentSize(), QSizeF(64, 64));
        saveForReview(&about, QStringLiteral("about"));
    }
};

TESSELLON_GUI_TEST_MAIN(TestWindowFit)
#include "tst_WindowFit.moc"
