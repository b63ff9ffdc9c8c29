// The capture toast on a real X server, with and without a compositing manager (xcompmgr): the
// fade's opacity reaches the server as it is set, the faded-in notice shows on screen, and the
// corners are rounded only where a compositing manager draws them. A screenshot of the
// composited toast goes to $TESSELLON_REVIEW_DIR when that is set.

#include "Platform/MainQueue.h"
#include "Platform/X11/XcbConnection.h"
#include "Zubra/Shell/CaptureToast.h"
#include "support/TestMain.h"
#include "support/WidgetSnapshot.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

constexpr quint32 opaque = 0xffffffffu;

// Reads the window's opacity as another client does, without running this process's event loop:
// what Qt has not sent yet is not there.
QByteArray lastXprop; // what xprop said last, for the failure message

std::optional<quint32> opacityOnServer(WId window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
        {QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_WINDOW_OPACITY")});
    if (!xprop.waitForFinished(5000) || xprop.exitCode() != 0)
        return std::nullopt;
    const QByteArray out = xprop.readAllStandardOutput().trimmed();
    lastXprop = out;
    const qsizetype equals = out.indexOf(" = ");
    if (equals < 0)
        return std::nullopt; // "not found": the property never reached the server
    bool ok = false;
    const quint32 value = out.mid(equals + 3).toUInt(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

bool compositingManagerRuns(XcbConnection& x)
{
    xcb_connection_t* c = x.connection();
    const xcb_atom_t selection = x.atom("_NET_WM_CM_S0");
    auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

QImage screenshot()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("root.png"));
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    if (!import.waitForFinished(10000) || import.exitCode() != 0)
        return {};
    return QImage(path);
}

bool near(QRgb a, QColor b)
{
    return qAbs(qRed(a) - b.red()) <= 24 && qAbs(qGreen(a) - b.green()) <= 24 && qAbs(qBlue(a) - b.blue()) <= 24;
}

} // namespace

class TestToastCompositorX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
            QSKIP("xcompmgr is not installed (scripts/bootstrap --tests installs it)");
        m_x = XcbConnection::open();
        QVERIFY(m_x);
    }

    void cleanup()
    {
        if (m_compositor.state() != QProcess::NotRunning) {
            m_compositor.kill();
            m_compositor.waitForFinished(5000);
        }
    }

    void fadesInUnderACompositingManager()
    {
        m_compositor.start(QStringLiteral("xcompmgr"), {});
        QVERIFY(m_compositor.waitForStarted(5000));
        QDeadlineTimer deadline(10000);
        while (!compositingManagerRuns(*m_x) && !deadline.hasExpired())
            QTest::qWait(20);
        QVERIFY(compositingManagerRuns(*m_x));

        CaptureToastController controller(MainQueue::system());
        controller.present({true, QStringLiteral("Saved \u00b7 Firefox"),
            QStringLiteral("The quick brown fox jumps over the lazy dog"), QStringLiteral("https://example.org/fox")});
        CaptureToastWidget* panel = controller.panel();
        QVERIFY(panel);
        QVERIFY(panel->rounded());
        // On the server at once, and (nearly) transparent: the fade has only begun.
        const std::optional<quint32> start = opacityOnServer(panel->winId());
        QVERIFY2(start && *start < opaque / 10, lastXprop.constData());

        // Faded in well before the dismissal at 1.7 s: opaque on the server, nothing else needed.
        QTest::qWait(600);
        QVERIFY2(opacityOnServer(panel->winId()) == std::optional<quint32>(opaque), lastXprop.constData());

        // And on screen: the notice's own background, not the desktop behind it.
        const QImage shot = screenshot();
        QVERIFY(!shot.isNull());
        const qreal ratio = panel->devicePixelRatioF();
        // The card, inside the window that also holds its shadow.
        const QRect card = panel->cardRect().translated(panel->geometry().topLeft());
        const QRect native(card.topLeft() * ratio, card.size() * ratio);
        WidgetSnapshot::saveForReview(shot.copy(native.adjusted(-40, -20, 40, 40)),
            QStringLiteral("toast-composited-scale-") + qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"))
                + QStringLiteral(".png"));
        const QColor background = panel->palette().color(QPalette::Window);
        const QPoint blank(native.right() - int(6 * ratio), native.center().y());
        QVERIFY2(near(shot.pixel(blank), background),
            qPrintable(QColor(shot.pixel(blank)).name() + QStringLiteral(" against ") + background.name()));

        // Fading out ends transparent and the notice goes.
        QPointer<CaptureToastWidget> shown = panel;
        QTRY_VERIFY_WITH_TIMEOUT(!shown || !shown->isVisible(), 5000);
    }

    void squareWithoutACompositingManager()
    {
        QVERIFY(!compositingManagerRuns(*m_x));
        CaptureToastController controller(MainQueue::system());
        controller.present({false, QStringLiteral("Nothing saved"), QStringLiteral("No text was selected."), {}});
        QVERIFY(controller.panel());
        QVERIFY(!controller.panel()->rounded());
    }

private:
    std::shared_ptr<XcbConnection> m_x;
    QProcess m_compositor;
};

TESSELLON_GUI_TEST_MAIN(TestToastCompositorX11)
#include "tst_ToastCompositorX11.moc"
