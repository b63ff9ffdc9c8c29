// The capture toast: its texts, the width it may take, where it goes, and its life on a
// manual clock (fade in, 1.7 s on screen, fade out, replaced at once by the next).

#include "ReviewImage.h"
#include "Zubra/Shell/CaptureToast.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "ZubraCore/Capture/CaptureResult.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/StorePersistenceStatus.h"
#include "support/ManualMainQueue.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QFontMetrics>

using namespace std::chrono_literals;

namespace {
Selection selection(
    const QString& text, const std::optional<QString>& url = {}, const std::optional<QString>& path = {})
{
    return Selection::make(QUuid::createUuid(), text, std::nullopt, QStringLiteral("Firefox"),
        QStringLiteral("firefox-esr"), url, std::nullopt, path);
}

CaptureToastController::Desktop oneScreen(QRect frame = {0, 0, 1280, 800}, QRect available = {0, 28, 1280, 772})
{
    return {{{frame, available}}, frame.center()};
}
} // namespace

class TestCaptureToast : public QObject
{
    Q_OBJECT

private slots:
    void savedTexts_data()
    {
        QTest::addColumn<Selection>("saved");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("snippet");
        QTest::addColumn<std::optional<QString>>("source");
        const QString url = QStringLiteral("https://example.org/a?b=c");
        QTest::newRow("plain, not added")
            << selection(QStringLiteral("  Hello world\nsecond")) << false << "Hello world" << std::optional<QString>();
        QTest::newRow("plain, added") << selection(QStringLiteral("Hello")) << true << "Hello"
                                      << std::optional<QString>(QStringLiteral("added to Prompt"));
        QTest::newRow("web page, added") << selection(QStringLiteral("Hello"), url) << true << "Hello"
                                         << std::optional<QString>(QStringLiteral("added to Prompt \u00b7 ") + url);
        QTest::newRow("web page, not added")
            << selection(QStringLiteral("Hello"), url) << false << "Hello" << std::optional<QString>(url);
        QTest::newRow("file, address wins") << selection(QStringLiteral("x"), url, QStringLiteral("/tmp/a.txt"))
                                            << false << "x" << std::optional<QString>(url);
        QTest::newRow("file") << selection(QStringLiteral("x"), std::nullopt, QStringLiteral("/tmp/a.txt")) << false
                              << "x" << std::optional<QString>(QStringLiteral("/tmp/a.txt"));
    }
    void savedTexts()
    {
        QFETCH(Selection, saved);
        QFETCH(bool, added);
        QFETCH(QString, snippet);
        QFETCH(std::optional<QString>, source);
        const CaptureToastView view = CaptureToastView::saved(saved, added);
        QVERIFY(view.success);
        QCOMPARE(view.title, QStringLiteral("Saved \u00b7 Firefox"));
        QCOMPARE(view.snippet, snippet);
        QCOMPARE(view.source, source);

        CaptureToastWidget widget(view, 480);
        QCOMPARE(widget.sourceLine().isEmpty(), !source.has_value());
        QCOMPARE(widget.snippetLines(), QStringList {snippet});
    }

    void aHugeCaptureIsCutBeforeAnythingMeasuresIt()
    {
        // Megabytes on one line, and a megabyte address: nothing may lay all of it out.
        const QString text = QString(u'w').repeated(3'000'000) + QStringLiteral("\nsecond line");
        const QString url
            = QStringLiteral("https://example.org/") + QString(u'p').repeated(1'000'000) + QStringLiteral("/end.html");
        QElapsedTimer timer;
        timer.start();
        const CaptureToastView view = CaptureToastView::saved(selection(text, url), true);
        CaptureToastWidget widget(view, 480);
        QVERIFY2(timer.elapsed() < 2000, "the toast scanned the whole capture");
        QVERIFY(view.snippet.size() <= 4096);
        QVERIFY(view.source->size() <= 2 * 512 + 64);

        QCOMPARE(widget.cardRect().width(), 480);
        QCOMPARE(widget.snippetLines().size(), 2);
        QVERIFY(widget.snippetLines().last().endsWith(QStringLiteral("\u2026")));
        // The source keeps both of its ends.
        QVERIFY(widget.sourceLine().startsWith(QStringLiteral("added to Prompt \u00b7 https://")));
        QVERIFY(widget.sourceLine().endsWith(QStringLiteral("/end.html")));
        QVERIFY(widget.sourceLine().contains(QStringLiteral("\u2026")));
        ReviewImage::saveForReview(widget.grab().toImage(), QStringLiteral("toast-long"));
    }

    void widthLimit_data()
    {
        QTest::addColumn<int>("screenWidth");
        QTest::addColumn<int>("textLength");
        QTest::addColumn<int>("width"); // -1: narrower than the limit, sized by the text
        QTest::newRow("wide screen, long text") << 1920 << 600 << 480;
        QTest::newRow("narrow screen, long text") << 400 << 600 << 368;
        QTest::newRow("short text") << 1920 << 5 << -1;
    }
    void widthLimit()
    {
        QFETCH(int, screenWidth);
        QFETCH(int, textLength);
        QFETCH(int, width);
        const CaptureToastController::Screen screen {{0, 0, screenWidth, 600}, {0, 0, screenWidth, 600}};
        const int limit = CaptureToastController::maxWidth(screen);
        CaptureToastWidget widget(
            {false, QStringLiteral("Nothing saved"), QString(u'a').repeated(textLength), {}}, limit);
        if (width >= 0)
            QCOMPARE(widget.cardRect().width(), width);
        else
            QVERIFY(widget.cardRect().width() < 200);
        QVERIFY(widget.cardRect().width() <= limit);
    }

    void aFailureSentenceWrapsToTwoLines()
    {
        const QString sentence
            = QStringLiteral("Chrome\u2019s built-in PDF viewer can\u2019t be captured programmatically. "
                             "Open the PDF in Preview (or use right-click \u2192 Copy inside Chrome), "
                             "then capture again.");
        CaptureToastWidget widget({false, QStringLiteral("Nothing saved"), sentence, {}}, 480);
        QCOMPARE(widget.snippetLines().size(), 2);
        const QString shown = widget.snippetLines().join(u' ');
        QVERIFY(shown.startsWith(QStringLiteral("Chrome\u2019s built-in PDF viewer")));
        QVERIFY(shown.endsWith(QStringLiteral("\u2026")));
        QVERIFY(widget.sourceLine().isEmpty());
        ReviewImage::saveForReview(widget.grab().toImage(), QStringLiteral("toast-failure"));
        CaptureToastWidget saved(
            CaptureToastView::saved(selection(QStringLiteral("The quick brown fox jumps over the lazy dog"),
                                        QStringLiteral("https://example.org/article")),
                true),
            480);
        ReviewImage::saveForReview(saved.grab().toImage(), QStringLiteral("toast-saved"));
    }

    // The clipboard refusals are read whole: they tell the user what to do next; so is the
    // refusal of a password, which says why nothing was saved.
    void clipboardSentencesAreShownWhole_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("restore failed") << int(CaptureError::Code::clipboardRestoreFailed);
        QTest::newRow("owner silent") << int(CaptureError::Code::clipboardOwnerSilent);
        QTest::newRow("too large") << int(CaptureError::Code::clipboardTooLarge);
        QTest::newRow("password refused") << int(CaptureError::Code::passwordRefused);
    }
    void clipboardSentencesAreShownWhole()
    {
        QFETCH(int, code);
        const CaptureError error = code == int(CaptureError::Code::clipboardOwnerSilent)
            ? CaptureError::clipboardOwnerSilent()
            : code == int(CaptureError::Code::clipboardTooLarge) ? CaptureError::clipboardTooLarge()
            : code == int(CaptureError::Code::passwordRefused)   ? CaptureError::passwordRefused({})
                                                                 : CaptureError::clipboardRestoreFailed();
        const QString sentence = error.errorDescription();
        CaptureToastWidget widget({false, QStringLiteral("Nothing saved"), sentence, {}}, 480);
        QCOMPARE(widget.snippetLines().join(u' '), sentence);
        ReviewImage::saveForReview(widget.grab().toImage(), QStringLiteral("toast-clipboard-") + QString::number(code));
    }

    // The library's refusals are read whole, in two lines: the notice widens for them (never past
    // the screen's bound) rather than cutting the sentence.
    void libraryRefusalsAreShownWhole_data()
    {
        QTest::addColumn<int>("presentation");
        QTest::addColumn<int>("screenWidth");
        QTest::newRow("incompatible library") << int(LibraryRecoveryPresentation::incompatibleVersion) << 1280;
        QTest::newRow("unreadable library") << int(LibraryRecoveryPresentation::unreadable) << 1280;
        QTest::newRow("library in use") << int(LibraryRecoveryPresentation::inUse) << 1280;
        QTest::newRow("incompatible, small screen") << int(LibraryRecoveryPresentation::incompatibleVersion) << 800;
    }
    void libraryRefusalsAreShownWhole()
    {
        QFETCH(int, presentation);
        QFETCH(int, screenWidth);
        const QString sentence
            = LibraryRecoveryPresentation(LibraryRecoveryPresentation::Value(presentation)).message();
        const CaptureToastController::Screen screen {{0, 0, screenWidth, 800}, {0, 0, screenWidth, 800}};
        const int limit = CaptureToastController::maxWidth(screen);
        CaptureToastWidget widget({false, QStringLiteral("Nothing saved"), sentence, {}}, limit);
        const QStringList lines = widget.snippetLines();
        QCOMPARE(lines.size(), 2);
        // Broken at a blank or after a hyphen ("read-only"), nothing left out.
        QVERIFY2(lines.join(u' ') == sentence || lines.join(QString()) == sentence, qPrintable(lines.join(u'|')));
        QVERIFY(widget.cardRect().width() <= limit);
        ReviewImage::saveForReview(
            widget.grab().toImage(), QStringLiteral("toast-library-") + QString::number(presentation));
    }

    // Under a compositing manager the notice casts a soft black shadow, strongest just below it
    // (4 lower), never darker than 18 %; without one there is no shadow and no room for it.
    void shadowUnderACompositingManager_data()
    {
        QTest::addColumn<bool>("compositing");
        QTest::newRow("compositing manager") << true;
        QTest::newRow("none") << false;
    }
    void shadowUnderACompositingManager()
    {
        QFETCH(bool, compositing);
        CaptureToastWidget widget(
            {true, QStringLiteral("Saved · Firefox"), QStringLiteral("Hello"), {}}, 480, compositing);
        const QRect card = widget.cardRect();
        QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        widget.render(&image, {}, {}, QWidget::DrawChildren);
        if (!compositing) {
            QCOMPARE(card, widget.rect());
            return;
        }
        QCOMPARE(widget.shadowMargins(), QMargins(14, 10, 14, 18));
        const auto alphaAt = [&image](int x, int y) { return qAlpha(image.pixel(x, y)); };
        const int middle = card.center().x();
        // Below the card: dark and fading with distance; above it, lighter than below.
        const int justBelow = alphaAt(middle, card.bottom() + 2);
        const int further = alphaAt(middle, card.bottom() + 12);
        QVERIFY2(justBelow > 20 && justBelow <= 47, qPrintable(QString::number(justBelow)));
        QVERIFY2(further > 0 && further < justBelow, qPrintable(QString::number(further)));
        QVERIFY(alphaAt(middle, card.top() - 2) < justBelow);
        QCOMPARE(QColor::fromRgba(image.pixel(middle, card.bottom() + 2)).red(), 0);
        // Beside it, evenly on both sides.
        QVERIFY(qAbs(alphaAt(card.left() - 3, card.center().y()) - alphaAt(card.right() + 3, card.center().y())) <= 2);
        QVERIFY(alphaAt(card.left() - 3, card.center().y()) > 0);
        ReviewImage::saveForReview(image, QStringLiteral("toast-shadow"));
        widget.setPalette(AppScreenshotExporter::palette(AppScreenshotExporter::ColorScheme::dark));
        QImage dark(widget.size() * 2, QImage::Format_ARGB32_Premultiplied);
        dark.setDevicePixelRatio(2);
        dark.fill(QColor(0x60, 0x60, 0x60));
        widget.render(&dark, {}, {}, QWidget::DrawChildren);
        ReviewImage::saveForReview(dark, QStringLiteral("toast-shadow-dark-scale-2"));
    }

    void placement_data()
    {
        QTest::addColumn<QList<CaptureToastController::Screen>>("screens");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<int>("screen"); // the index of the screen it goes to
        const CaptureToastController::Screen left {{0, 0, 1280, 800}, {0, 30, 1280, 770}};
        const CaptureToastController::Screen right {{1280, 0, 1920, 1080}, {1280, 0, 1860, 1080}};
        QTest::newRow("pointer on the primary") << QList {left, right} << QPoint(10, 10) << 0;
        QTest::newRow("pointer on the second") << QList {left, right} << QPoint(2000, 500) << 1;
        QTest::newRow("pointer nowhere: primary") << QList {left, right} << QPoint(-50, -50) << 0;
    }
    void placement()
    {
        QFETCH(QList<CaptureToastController::Screen>, screens);
        QFETCH(QPoint, pointer);
        QFETCH(int, screen);
        ManualMainQueue queue;
        CaptureToastController controller(std::shared_ptr<MainQueue>(&queue, [](MainQueue*) {}));
        controller.setDesktopSource([&] { return CaptureToastController::Desktop {screens, pointer}; });
        controller.present({true, QStringLiteral("Saved \u00b7 Notes"), QStringLiteral("Hello"), {}});
        const QRect area = screens[screen].available;
        const QRect toast = controller.panel()->geometry();
        QCOMPARE(toast.top(), area.top() + 8);
        QVERIFY(qAbs(toast.center().x() - area.center().x()) <= 1);
        QVERIFY(area.contains(toast));
    }

    void windowNeverTakesFocus()
    {
        ManualMainQueue queue;
        CaptureToastController controller(std::shared_ptr<MainQueue>(&queue, [](MainQueue*) {}));
        controller.setDesktopSource([] { return oneScreen(); });
        controller.present({true, QStringLiteral("t"), QStringLiteral("s"), {}});
        const Qt::WindowFlags flags = controller.panel()->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::X11BypassWindowManagerHint));
        QVERIFY(controller.panel()->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(controller.panel()->isVisible());
        QVERIFY(!controller.panel()->isActiveWindow());
    }

    // Without a compositing manager transparent pixels show black: the notice is then an opaque
    // rectangle; with one, its corners are rounded and see-through. Asked at every notice.
    void cornersFollowTheCompositingManager_data()
    {
        QTest::addColumn<bool>("compositing");
        QTest::newRow("no compositing manager") << false;
        QTest::newRow("compositing manager") << true;
    }
    void cornersFollowTheCompositingManager()
    {
        QFETCH(bool, compositing);
        ManualMainQueue queue;
        CaptureToastController controller(std::shared_ptr<MainQueue>(&queue, [](MainQueue*) {}));
        controller.setDesktopSource([] { return oneScreen(); });
        controller.setCompositingSource([compositing] { return compositing; });
        controller.present({true, QStringLiteral("Saved \u00b7 Firefox"), QStringLiteral("Hello"), {}});
        CaptureToastWidget* panel = controller.panel();
        QCOMPARE(panel->rounded(), compositing);
        QCOMPARE(panel->testAttribute(Qt::WA_TranslucentBackground), compositing);
        QImage image(panel->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        panel->render(&image, {}, {}, QWidget::DrawChildren);
        for (const QPoint corner : {QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1),
                 QPoint(image.width() - 1, image.height() - 1)})
            QCOMPARE(qAlpha(image.pixel(corner)), compositing ? 0 : 255);
        QCOMPARE(qAlpha(image.pixel(image.rect().center())), 255);
    }

    void lifeOnTheClock()
    {
        ManualMainQueue queue;
        CaptureToastController controller(std::shared_ptr<MainQueue>(&queue, [](MainQueue*) {}));
        controller.setDesktopSource([] { return oneScreen(); });
        controller.present({true, QStringLiteral("first"), QStringLiteral("s"), {}});
        QPointer<CaptureToastWidget> first = controller.panel();
        QCOMPARE(first->windowOpacity(), 0.0);
        queue.advance(70ms);
        QVERIFY(first->windowOpacity() > 0.3 && first->windowOpacity() < 0.7);
        queue.advance(80ms);
        QCOMPARE(first->windowOpacity(), 1.0);
        // Still fully shown just before 1.7 s.
        queue.advance(1700ms - 150ms - 1ms);
        QCOMPARE(first->windowOpacity(), 1.0);
        queue.advance(2ms + 120ms);
        QVERIFY(first->windowOpacity() > 0.3 && first->windowOpacity() < 0.7);
        queue.advance(140ms);
        QVERIFY(!controller.panel());
        QVERIFY(!first->isVisible());
        QCOMPARE(queue.pending(), 0);
    }

    void aNewToastReplacesTheOldAtOnceAndStaysItsFullTime()
    {
        ManualMainQueue queue;
        CaptureToastController controller(std::shared_ptr<MainQueue>(&queue, [](MainQueue*) {}));
        controller.setDesktopSource([] { return oneScreen(); });
        controller.present({true, QStringLiteral("first"), QStringLiteral("s"), {}});
        QPointer<CaptureToastWidget> first = controller.panel();
        queue.advance(1000ms);
        controller.present({false, QStringLiteral("second"), QStringLiteral("s"), {}});
        QPointer<CaptureToastWidget> second = controller.panel();
        QVERIFY(second != first);
        QVERIFY(!first || !first->isVisible());
        QCOMPARE(second->view().title, QStringLiteral("second"));
        // The first one's dismissal (at 1.7 s) no longer applies.
        queue.advance(1000ms);
        QCOMPARE(controller.panel(), second.data());
        QCOMPARE(second->windowOpacity(), 1.0);
        queue.advance(700ms + 270ms);
        QVERIFY(!controller.panel());
    }
};

TESSELLON_GUI_TEST_MAIN(TestCaptureToast)
#include "tst_CaptureToast.moc"
