// Sounds on a machine that may have no sound device: never an error for the user, at most one
// diagnostic line per run, and an unusable sound system is not asked again for every capture.

#include "Platform/X11/X11Feedback.h"
#include "support/TestMain.h"

#include <QStringList>

class TestX11Feedback : public QObject
{
    Q_OBJECT

private slots:
    void soundsWithOrWithoutADevice()
    {
        // Through ALSA: on a machine without a sound device it opens, then fails every sound.
        qputenv("CANBERRA_DRIVER", "alsa");
        QStringList lines;
        X11Feedback feedback([&](const QString& line) { lines.append(line); });
        feedback.alertBeep(); // the X bell of the test's display
        feedback.haptic();
        for (int i = 0; i < 3; ++i)
            feedback.savedSound();
        qunsetenv("CANBERRA_DRIVER");
        // Either the theme's sound played, or the sound system said why not, once.
        QVERIFY2(lines.size() <= 1, qPrintable(lines.join(u'\n')));
        for (const QString& line : lines)
            QVERIFY2(line.startsWith(QStringLiteral("Sounds unavailable: ")), qPrintable(line));
    }

    void aFailingSoundIsLoggedOncePerRun_data()
    {
        QTest::addColumn<QList<bool>>("played"); // the player's answer for each saved sound
        QTest::addColumn<int>("lines");
        QTest::newRow("every sound plays") << QList<bool> {true, true, true} << 0;
        QTest::newRow("no sound device") << QList<bool> {false, false, false, false} << 1;
        QTest::newRow("a device that comes and goes") << QList<bool> {true, false, true, false} << 1;
    }
    void aFailingSoundIsLoggedOncePerRun()
    {
        QFETCH(QList<bool>, played);
        QFETCH(int, lines);
        QStringList logged;
        QList<QByteArray> events;
        qsizetype next = 0;
        X11Feedback feedback([&](const QString& line) { logged.append(line); },
            [&](const char* eventId) -> std::optional<QString> {
                events.append(eventId);
                if (played.at(next++))
                    return std::nullopt;
                return QStringLiteral("Sounds unavailable: No such device");
            });
        for (qsizetype i = 0; i < played.size(); ++i)
            feedback.savedSound();
        // Every sound is tried; only the first failure is told.
        QCOMPARE(events, QList<QByteArray>(played.size(), X11Feedback::savedSoundEvent));
        QCOMPARE(logged.size(), lines);
        if (lines)
            QVERIFY(logged.constFirst().startsWith(QStringLiteral("Sounds unavailable: No such device")));
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
