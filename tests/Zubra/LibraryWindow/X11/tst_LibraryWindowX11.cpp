// The library window of the real program in an X session: its title as the window manager reads
// it, what a screen reader finds over the accessibility bus, named, and what its copy commands put
// on the clipboard: selected rows, and text selected in the detail, whole where it is drawn shortened.

#include "Platform/X11/XcbConnection.h"
#include "Zubra/SurfaceExport/SampleData.h"
#include "ZubraCore/Library/LibraryDocument.h"
#include "support/LibraryFixtures.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"
#include "support/X11Wait.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");
const QString controlsScript
    = QStringLiteral(TESSELLON_SOURCE_DIR "/tests/Zubra/LibraryWindow/X11/atspi_controls.py");
const QString findScript = QStringLiteral(TESSELLON_SOURCE_DIR "/tests/Zubra/LibraryWindow/X11/atspi_find.py");

// A showing element as atspi_find.py prints it.
struct Found
{
    QRect box;
    QString name;
};

bool mouse(const QStringList& arguments)
{
    return X11Programs::run(QStringLiteral("xdotool"), arguments).has_value();
}

// The window's title as the window manager reads it.
QString windowTitle(const QString& window)
{
    auto x = XcbConnection::open();
    if (!x)
        return {};
    const auto bytes = x->property(window.toUInt(), x->atom("_NET_WM_NAME"), x->atom("UTF8_STRING"), 4096);
    return bytes ? QString::fromUtf8(*bytes) : QString();
}

// A dark colour set as KDE Plasma writes it; Qt reads it in a session that names KDE.
const char* darkKdeColours = R"([Colors:Window]
BackgroundNormal=42,46,50
ForegroundNormal=232,232,232
[Colors:View]
BackgroundNormal=27,30,32
ForegroundNormal=232,232,232
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=232,232,232
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=255,255,255
[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=232,232,232
)";

} // namespace

class TestLibraryWindowX11 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
    QProcess m_app;
    QString m_window;
    bool m_darkSession = false;
    // The library, newest first: a capture whose address is far too long for the detail, then the samples.
    QList<Selection> m_selections;
    // The library the program starts with, when not the samples.
    std::optional<StoreSnapshot> m_library;
    const QString m_longAddress = u"https://very-long-host.example.org/"_qs + u"segment/"_qs.repeated(25) + u"end.html"_qs;

    QString logText() const
    {
        QFile file(m_home.filePath(QStringLiteral("log/tessellon.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The controls showing in the window: role and name, one pair a line.
    QStringList controls()
    {
        const auto out = X11Programs::run(python, {controlsScript, QString::number(m_app.processId())}, 15000);
        return out ? QString::fromUtf8(*out).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }

    // The showing elements of the role whose names start so, as a screen reader finds them.
    QList<Found> find(const QString& role, const QString& prefix = {})
    {
        QList<Found> found;
        const auto out
            = X11Programs::run(python, {findScript, QString::number(m_app.processId()), role, prefix}, 15000);
        for (const QString& line : QString::fromUtf8(out.value_or(QByteArray())).split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            if (fields.size() < 5)
                continue;
            QString name = fields.mid(4).join(u'\t');
            name.replace(u"\\n"_qs, u"\n"_qs).replace(u"\\\\"_qs, u"\\"_qs);
            found.append(Found {
                QRect(fields[0].toInt(), fields[1].toInt(), fields[2].toInt(), fields[3].toInt()), name});
        }
        return found;
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : {"xdotool", "dbus-send"})
            if (!X11Programs::available(QString::fromLatin1(tool)))
                QSKIP("a tool the test drives is missing");
        if (!X11Programs::run(python, {"-c", "import pyatspi"}))
            QSKIP("python3-pyatspi is missing");
        for (const char* folder : {"data", "config", "state", "log", "run"})
            QVERIFY(QDir().mkpath(m_home.filePath(QString::fromLatin1(folder))));
        QVERIFY(::chmod(QFile::encodeName(m_home.filePath(QStringLiteral("run"))).constData(), 0700) == 0);
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
        m_environment.insert(QStringLiteral("TESSELLON_LOG_DIR"), m_home.filePath(QStringLiteral("log")));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));
        if (m_darkSession) {
            m_environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("KDE"));
            m_environment.insert(QStringLiteral("KDE_SESSION_VERSION"), QStringLiteral("5"));
            m_environment.insert(QStringLiteral("KDE_FULL_SESSION"), QStringLiteral("true"));
        }
        QVERIFY(X11Programs::run(QStringLiteral("dbus-send"),
            {"--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
                "variant:boolean:true"}));

        StoreSnapshot snapshot;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        snapshot.selections = SampleData::sampleSelections(now);
        snapshot.selections.append(Selection::make(QUuid::createUuid(), u"A passage from a deep page."_qs,
            std::nullopt, u"Firefox"_qs, u"firefox"_qs, m_longAddress, u"Deep page"_qs, std::nullopt, {}, now.addSecs(60)));
        if (m_library)
            snapshot = *m_library;
        m_selections = snapshot.selections;
        std::sort(m_selections.begin(), m_selections.end(),
            [](const Selection& a, const Selection& b) { return a.createdAt > b.createdAt; });
        QVERIFY(LibraryFixtures::writeFile(m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.json")),
            LibraryDocument::encode(snapshot).bytes));

        const qsizetype launches = logText().count(QStringLiteral("Tessellon launched"));
        m_app.setProcessEnvironment(m_environment);
        m_app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_app.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(m_app.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(logText().count(QStringLiteral("Tessellon launched")) > launches, 10000);
        // A second start asks the running program for its window.
        QProcess second;
        second.setProcessEnvironment(m_environment);
        second.start(QStringLiteral(TESSELLON_PROGRAM), {});
        QVERIFY(second.waitForFinished(10000));
        m_window = X11Programs::windowOf(m_app.processId(), 20000);
        QVERIFY(!m_window.isEmpty());
        QVERIFY(X11Programs::activate(m_window));
    }

    void titleNamesThePrompt()
    {
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon"), 5000);
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+shift+p"))); // Go to Prompt
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon \u2014 Prompt 1"), 5000);
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f"))); // back to the library, in the search field
        QTRY_COMPARE_WITH_TIMEOUT(windowTitle(m_window), QStringLiteral("Tessellon"), 5000);
    }

    void everyControlIsNamed()
    {
        // The first row inspected, so that the detail's buttons show too.
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::key(QStringLiteral("Tab")));
        QVERIFY(X11Programs::key(QStringLiteral("Down")));
        QVERIFY(X11Programs::key(QStringLiteral("Up")));
        QStringList found;
        for (int attempt = 0; attempt < 5 && !found.join(u'\n').contains(QStringLiteral("Copy as Markdown")); ++attempt) {
            if (attempt > 0)
                QTest::qWait(1000);
            found = controls();
        }
        QStringList unnamed;
        QStringList names;
        for (const QString& line : found) {
            const QStringList fields = line.split(u'\t');
            const QString name = fields.value(1).trimmed();
            if (name.isEmpty())
                unnamed.append(fields.value(0));
            names.append(name);
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(u"unnamed: "_qs + unnamed.join(u", "_qs) + u"\n"_qs + found.join(u'\n')));
        for (const QString& expected : {u"Capture Selection"_qs, u"Sort"_qs, u"Copy as Markdown"_qs,
                 u"Copy plain text"_qs, u"More"_qs, u"New Group\u2026"_qs})
            QVERIFY2(names.contains(expected), qPrintable(expected + u"\n"_qs + found.join(u'\n')));
    }

    // Two rows chosen with the keyboard and copied: their texts, newest first, joined as
    // "Copy Plain Text" joins them.
    void copyingRowsJoinsThemAsPlainText()
    {
        const QList<Selection>& samples = m_selections;
        QVERIFY(X11Programs::activate(m_window));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::key(QStringLiteral("Down"))); // into the list
        QVERIFY(X11Programs::key(QStringLiteral("Home")));
        QVERIFY(X11Programs::key(QStringLiteral("shift+Down")));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+c")));
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(),
            samples[0].text + QStringLiteral("\n\n---\n\n") + samples[1].text, 5000);
    }

    // A long address dragged across, in the detail's header and in its "Source" row, and copied by
    // each of the three ways: the whole address, not the list's rows nor the shortened drawing; the
    // PRIMARY selection and the name a screen reader reads hold it whole too.
    void copyingSelectedDetailText_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("inHeader");
        for (const bool inHeader : {true, false}) {
            const QString where = inHeader ? u"header, "_qs : u"Source row, "_qs;
            QTest::addRow("%s", qPrintable(where + u"Ctrl+C"_qs)) << QStringLiteral("keys") << inHeader;
            QTest::addRow("%s", qPrintable(where + u"Edit menu"_qs)) << QStringLiteral("menu bar") << inHeader;
            QTest::addRow("%s", qPrintable(where + u"context menu"_qs)) << QStringLiteral("context menu") << inHeader;
        }
    }

    void copyingSelectedDetailText()
    {
        QFETCH(QString, way);
        QFETCH(bool, inHeader);
        QVERIFY(X11Programs::activate(m_window));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::key(QStringLiteral("Down")));
        QVERIFY(X11Programs::key(QStringLiteral("End"))); // so that Home moves, and inspects
        QVERIFY(X11Programs::key(QStringLiteral("Home"))); // the newest capture, with the long address
        // The header's line is the upper of the two.
        std::optional<Found> source;
        QStringList seen;
        for (int attempt = 0; attempt < 20 && !source; ++attempt) {
            if (attempt > 0)
                QTest::qWait(500);
            QList<Found> labels = find(QStringLiteral("label"), QStringLiteral("https://"));
            std::sort(labels.begin(), labels.end(), [](const Found& a, const Found& b) { return a.box.y() < b.box.y(); });
            seen.clear();
            for (const Found& label : std::as_const(labels))
                seen.append(label.name);
            if (labels.size() == 2)
                source = labels[inHeader ? 0 : 1];
        }
        QVERIFY2(source, qPrintable(u"the detail shows no address in its header and its Source row: "_qs + seen.join(u" | "_qs)));
        // From the start of the first line to past the end of the last.
        const int y = inHeader ? source->box.center().y() : source->box.top() + 4;
        const int lastY = inHeader ? y : source->box.bottom() - 4;
        QVERIFY(mouse({"mousemove", QString::number(source->box.left() + 1), QString::number(y)}));
        QVERIFY(mouse({"mousedown", "1"}));
        QTest::qWait(100);
        QVERIFY(mouse({"mousemove", QString::number(source->box.right() - 1), QString::number(lastY)}));
        QTest::qWait(100);
        QVERIFY(mouse({"mousemove", QString::number(source->box.right() + 30), QString::number(lastY)}));
        QVERIFY(mouse({"mouseup", "1"}));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        // The item of a menu now showing, clicked.
        const auto choose = [this](const QString& name) {
            std::optional<Found> item;
            QStringList items;
            for (int attempt = 0; attempt < 10 && !item; ++attempt) {
                QTest::qWait(300);
                items.clear();
                for (const Found& found : find(QStringLiteral("menu item"))) {
                    items.append(found.name);
                    if (found.name == name)
                        item = found;
                }
            }
            if (!item)
                qWarning() << "menu items:" << items;
            return item && mouse({"mousemove", QString::number(item->box.center().x()),
                               QString::number(item->box.center().y()), "click", "1"});
        };
        if (way == u"keys"_qs) {
            QVERIFY(X11Programs::key(QStringLiteral("ctrl+c")));
        } else if (way == u"menu bar"_qs) {
            QVERIFY(choose(QStringLiteral("Edit")));
            QVERIFY(choose(QStringLiteral("Copy")));
        } else {
            // A popup menu is no child of the application to a screen reader: its first item,
            // "Copy", is chosen with the keys.
            QVERIFY(mouse({"mousemove", QString::number(source->box.center().x()), QString::number(y), "click", "3"}));
            QTest::qWait(500);
            QVERIFY(X11Programs::key(QStringLiteral("Down")));
            QVERIFY(X11Programs::key(QStringLiteral("Return")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), m_longAddress, 5000);
        QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Selection), m_longAddress);
        QCOMPARE(source->name, m_longAddress);
    }

    // The sidebar's drag handles are pictures to a screen reader, named by their help.
    void sidebarHandlesArePictures()
    {
        const QString help = QStringLiteral("Drag to add to a prompt or group");
        QVERIFY(!find(QStringLiteral("image"), help).isEmpty());
        QVERIFY(find(QStringLiteral("unknown"), help).isEmpty());
    }

    // Screenshots of the window at its minimum size and maximised, in light colours and in a
    // dark colour set, for a person to look at.
    void screenshots_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void screenshots()
    {
        QFETCH(bool, dark);
        if (dark) {
            // The program again, in a session with a dark colour set.
            cleanupTestCase();
            QFile colours(m_home.filePath(QStringLiteral("config/kdeglobals")));
            QVERIFY(colours.open(QIODevice::WriteOnly));
            colours.write(darkKdeColours);
            colours.close();
            m_darkSession = true;
            initTestCase();
            QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
            QVERIFY(X11Programs::key(QStringLiteral("Tab")));
            QVERIFY(X11Programs::key(QStringLiteral("Down")));
        }
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        QDir().mkpath(QStringLiteral(TESSELLON_SCREENSHOT_DIR));
        const auto shoot = [&](const QString& name, QSize size) {
            QVERIFY(X11Wait::sized(xcb_window_t(m_window.toULong()), size));
            QVERIFY(X11Programs::activate(m_window));
            const auto screen = X11Wait::settledScreen();
            QVERIFY(screen);
            QVERIFY(screen->save(QStringLiteral(TESSELLON_SCREENSHOT_DIR "/library-window-") + name + u'-' + scheme
                + QStringLiteral(".png")));
        };
        // The window filling the screen, as maximised, then at its smallest. Sized directly:
        // openbox leaves a state request sent from here unanswered, and a window it holds
        // maximised refuses a new size.
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowmove", m_window, "0", "0"}));
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowsize", m_window, "100%", "100%"}));
        shoot(QStringLiteral("maximised"), QGuiApplication::primaryScreen()->size());
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"windowsize", m_window, "980", "600"}));
        shoot(QStringLiteral("minimum"), QSize(980, 600));
    }

    // A group of 5,000 among 25,000 captures whose identifiers are numbered in sequence, deleted as
    // a user does: the group chosen, its first row double-clicked (selected, inspected, copied), the
    // toolbar's Select All, then its Delete. The window answers a clipboard request at once (the
    // test's read gives up after Qt's own wait of seconds), and the library is saved without the
    // group's captures.
    void deletingAGroupOfThousands()
    {
        cleanupTestCase();
        m_library = LibraryFixtures::snapshot(25000);
        initTestCase();
        const QUuid research = m_library->groups.first().id;
        QCOMPARE(m_library->groups.first().name, u"Research"_qs);
        QList<Selection> members;
        for (const Selection& s : std::as_const(m_selections))
            if (s.groupIDs.contains(research))
                members.append(s);
        QCOMPARE(members.size(), 5000);
        const Selection& first = members.first();

        // One showing element of the role and name, clicked (twice: double-clicked).
        const auto click = [this](const QString& role, const QString& name, bool twice) {
            std::optional<Found> found;
            for (int attempt = 0; attempt < 20 && !found; ++attempt) {
                if (attempt > 0)
                    QTest::qWait(500);
                for (const Found& candidate : find(role, name))
                    if (!found || candidate.box.y() < found->box.y())
                        found = candidate;
            }
            return found && mouse({"mousemove", QString::number(found->box.center().x()),
                                QString::number(found->box.center().y()), "click", "--repeat", twice ? "2" : "1",
                                "--delay", "80", "1"});
        };
        QVERIFY(X11Programs::activate(m_window));
        // The sidebar's row is found while a search empties the list, which a screen reader's walk
        // would otherwise go through first.
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::run(QStringLiteral("xdotool"), {"type", "--delay", "20", "no such capture"}));
        QVERIFY(click(u"list item"_qs, u"Research"_qs, false));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+f")));
        QVERIFY(X11Programs::key(QStringLiteral("ctrl+a")));
        QVERIFY(X11Programs::key(QStringLiteral("BackSpace")));
        QVERIFY(click(u"list item"_qs, first.headline().left(24), true));
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), first.text, 5000);
        QVERIFY(click(u"push button"_qs, u"Select All"_qs, false));
        QVERIFY(click(u"push button"_qs, u"Delete"_qs, false));
        QCOMPARE(QGuiApplication::clipboard()->text(), first.text);
        const QString library = m_home.filePath(QStringLiteral("data/Tessellon/Tessellon.json"));
        const QByteArray firstID = first.id.toString(QUuid::WithoutBraces).toUpper().toUtf8();
        QTRY_VERIFY_WITH_TIMEOUT(!LibraryFixtures::readFile(library).isEmpty()
                && !LibraryFixtures::readFile(library).contains(firstID), 5000);
        QVERIFY(LibraryFixtures::readFile(library).contains(m_selections.first().id.toString(QUuid::WithoutBraces).toUpper().toUtf8()));
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000)) {
                m_app.kill();
                m_app.waitForFinished(2000);
            }
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestLibraryWindowX11)
#include "tst_LibraryWindowX11.moc"
