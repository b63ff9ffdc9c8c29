// Sounds on a machine that may have no sound device: never an error for the user, at most a
// diagnostic line, and an unusable sound system is not asked again for every capture.

#include "Platform/X11/X11Feedback.h"
#include "support/TestMain.h"

#include <QStringList>

class TestX11Feedback : public QObject
{
    Q_OBJECT

private slots:
    void soundsWithOrWithoutADevice()
    {
        QStringList lines;
        X11Feedback feedback([&](const QString& line) { lines.append(line); });
        feedback.alertBeep(); // the X bell of the test's display
        feedback.haptic();
        for (int i = 0; i < 3; ++i)
            feedback.savedSound();
        // Either the theme's sound played, or the sound system said why not: once when it cannot
        // be opened at all, else once per sound it refused.
        if (!lines.isEmpty() && lines.first().startsWith(QStringLiteral("Sounds unavailable: ")))
            QCOMPARE(lines.size(), 1);
        for (const QString& line : lines)
            QVERIFY2(line.startsWith(QStringLiteral("Sounds unavailable: "))
                    || line.startsWith(QStringLiteral("Saved sound not played: ")),
                qPrintable(line));
        QVERIFY(lines.size() <= 3);
    }

    void withoutADisplayTheBeepIsOnlyLogged()
    {
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("DISPLAY", ":9999");
        QStringList lines;
        X11Feedback feedback([&](const QString& line) { lines.append(line); });
        qputenv("DISPLAY", display);
        feedback.alertBeep();
        QCOMPARE(lines, QStringList {QStringLiteral("Alert beep unavailable: no X display")});
    }
};

TESSELLON_TEST_MAIN(TestX11Feedback)
#include "tst_X11Feedback.moc"
