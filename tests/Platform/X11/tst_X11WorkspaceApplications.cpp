// The workspace beyond the frontmost application: running applications and their window
// icons, installed applications' icons by the icon-theme rules, opening addresses and showing
// files, on a real X server and session bus.

#include "Platform/AppIdentity.h"
#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/IconTheme.h"
#include "Platform/X11/WindowIcon.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/X11/XcbConnection.h"
#include "support/TestMain.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void write(const QString& path, const QByteArray& body)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(body);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray data;
    for (quint32 v : values)
        data.append(reinterpret_cast<const char*>(&v), 4);
    return data;
}

// A stand-in for the desktop's file manager on the session bus.
class FileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};
} // namespace

class TestX11WorkspaceApplications : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QString m_opened; // where the stand-in xdg-open writes its argument

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        // xdg-open is replaced by a script that records what it was asked to open.
        m_opened = m_home.filePath(QStringLiteral("opened.txt"));
        const QString bin = m_home.filePath(QStringLiteral("bin"));
        write(bin + QStringLiteral("/xdg-open"), "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + m_opened.toUtf8() + "'\n");
        QFile::setPermissions(bin + QStringLiteral("/xdg-open"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", (bin + u':').toUtf8() + qgetenv("PATH"));
    }

    void windowIconData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QSize>("size"); // invalid: no picture
        const auto picture = [](quint32 w, quint32 h) {
            QByteArray data = words({w, h});
            data.append(QByteArray(int(w * h * 4), '\xff'));
            return data;
        };
        QTest::newRow("one picture") << picture(16, 16) << QSize(16, 16);
        QTest::newRow("closest to 64 of three")
            << picture(16, 16) + picture(48, 48) + picture(128, 128) << QSize(48, 48);
        QTest::newRow("a tie goes to the larger") << picture(32, 32) + picture(96, 96) << QSize(96, 96);
        QTest::newRow("cut short") << picture(16, 16).left(100) << QSize();
        QTest::newRow("complete one, then garbage") << picture(16, 16) + words({0xffffffff, 2}) << QSize(16, 16);
        QTest::newRow("zero size") << words({0, 0}) << QSize();
        QTest::newRow("absurd size") << words({100000, 100000, 1, 2, 3}) << QSize();
        QTest::newRow("empty") << QByteArray() << QSize();
    }
    void windowIconData()
    {
        QFETCH(QByteArray, data);
        QFETCH(QSize, size);
        const auto image = WindowIcon::fromProperty(data);
        QCOMPARE(image.has_value(), size.isValid());
        if (image)
            QCOMPARE(image->size(), size);
    }

    void systemEntriesResolve_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("icon");
        // xterm's entry names a theme icon that hicolor holds only as SVG; openbox's names a
        // picture in the pixmaps folder.
        QTest::newRow("SVG theme icon") << "debian-xterm"
                                        << "mini.xterm";
        QTest::newRow("pixmap folder") << "openbox"
                                       << "openbox";
    }
    void systemEntriesResolve()
    {
        QFETCH(QString, entry);
        QFETCH(QString, icon);
        const QStringList system {QStringLiteral("/usr/share/applications")};
        const auto found = DesktopEntries::byId(entry, system);
        if (!found)
            QSKIP("the desktop entry is not installed");
        QCOMPARE(found->icon, icon);
        const auto resolved = IconTheme::resolve(found->icon);
        QVERIFY(resolved);
        const QImage image = resolved->pixmap(64, 64).toImage();
        QVERIFY(!image.isNull());
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                painted += qAlpha(image.pixel(x, y)) > 0;
        QVERIFY(painted > 100);
        // Through the workspace, by the entry's id.
        X11Workspace workspace;
        QVERIFY(workspace.installedApplicationIcon(entry) || !DesktopEntries::byId(entry));
    }

    void iconValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("resolves");
        QTest::newRow("absolute picture") << "ABS/pic.png" << true;
        QTest::newRow("absolute, missing") << "ABS/missing.png" << false;
        QTest::newRow("absolute, not a picture") << "ABS/text.png" << false;
        QTest::newRow("name in the pixmaps folder") << "tessellon-test-pixmap" << true;
        QTest::newRow("name with extension") << "tessellon-test-pixmap.png" << true;
        QTest::newRow("relative path") << "../pixmaps/tessellon-test-pixmap" << false;
        QTest::newRow("unknown name") << "tessellon-no-such-icon" << false;
        QTest::newRow("empty") << "" << false;
    }
    void iconValues()
    {
        QFETCH(QString, value);
        QFETCH(bool, resolves);
        QTemporaryDir dir;
        QImage picture(24, 24, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(dir.filePath(QStringLiteral("pic.png"))));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("pixmaps")));
        QVERIFY(picture.save(dir.filePath(QStringLiteral("pixmaps/tessellon-test-pixmap.png"))));
        write(dir.filePath(QStringLiteral("text.png")), "not a picture");
        value.replace(QStringLiteral("ABS"), dir.path());
        const auto icon = IconTheme::resolve(value, {dir.filePath(QStringLiteral("pixmaps"))});
        QCOMPARE(icon.has_value(), resolves);
        if (icon)
            QCOMPARE(icon->pixmap(24, 24).toImage().pixelColor(12, 12), QColor(Qt::red));
    }

    void entriesAddedLaterAreFound()
    {
        const QString applications = m_home.filePath(QStringLiteral("applications"));
        const QStringList dirs {applications};
        write(applications + QStringLiteral("/org.example.First.desktop"),
            "[Desktop Entry]\nType=Application\nName=First\nIcon=first-icon\n");
        QCOMPARE(DesktopEntries::all(dirs).size(), 1);
        QCOMPARE(DesktopEntries::all(dirs).first().icon, QStringLiteral("first-icon"));
        // A new entry in a new sub-folder, found by its window class through the index.
        write(applications + QStringLiteral("/vendor/second.desktop"),
            "[Desktop Entry]\nType=Application\nName=Second\nStartupWMClass=SecondWindow\n");
        const auto second = DesktopEntries::forWindowClass(QString(), QStringLiteral("SecondWindow"), dirs);
        QVERIFY(second);
        QCOMPARE(second->id, QStringLiteral("vendor-second"));
        QDir(applications).removeRecursively();
        QVERIFY(DesktopEntries::all(dirs).isEmpty());
    }

    void runningApplicationsAndTheirIcons()
    {
        // Only a window manager lists the desktop's windows; the session normally has one.
        auto x = XcbConnection::open();
        const auto windowManager
            = [&] { return x->cardinal(x->root(), x->atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).has_value(); };
        if (!QTest::qWaitFor(windowManager, 10000))
            QSKIP("no window manager runs in this X session");

        QWidget window;
        QPixmap pixmap(32, 32);
        pixmap.fill(QColor(0, 0, 255));
        window.setWindowIcon(QIcon(pixmap));
        window.setWindowTitle(QStringLiteral("Icon test"));
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        X11Workspace workspace;
        const qint32 pid = qint32(QCoreApplication::applicationPid());
        std::optional<RunningApplication> own;
        // The window manager lists the window once it manages it; on a loaded machine the
        // window manager itself may still be starting.
        const auto findOwn = [&] {
            for (const RunningApplication& app : workspace.runningApplications())
                if (app.processIdentifier == pid)
                    own = app;
            return own.has_value();
        };
        const auto desktopState = [] {
            auto x = XcbConnection::open();
            const auto wm = x->cardinal(x->root(), x->atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
            const auto list = x->property(x->root(), x->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 4096, 32);
            return QByteArray("window manager ") + (wm ? "present" : "missing") + ", client list of "
                + QByteArray::number(list ? list->size() / 4 : -1) + " windows";
        };
        QTRY_VERIFY2_WITH_TIMEOUT(findOwn(), desktopState().constData(), 30000);
        QCOMPARE(own->bundleIdentifier, QString::fromLatin1(AppIdentity::bundleIdentifier));
        const auto icon = workspace.runningApplicationIcon(pid);
        QVERIFY(icon);
        QCOMPARE(icon->pixmap(32, 32).toImage().pixelColor(16, 16), QColor(0, 0, 255));
        QVERIFY(!workspace.runningApplicationIcon(999999));
    }

    void pipeAsDesktopEntryNeverBlocks()
    {
        // A window that names its application "x" while x.desktop in the user's applications
        // folder is a pipe nobody writes to: listing the running applications still answers.
        auto x = XcbConnection::open();
        const auto windowManager
            = [&] { return x->cardinal(x->root(), x->atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).has_value(); };
        if (!QTest::qWaitFor(windowManager, 10000))
            QSKIP("no window manager runs in this X session");
        const QString pipe = m_home.filePath(QStringLiteral("applications/x.desktop"));
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("applications"))));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QWidget window;
        window.setWindowTitle(QStringLiteral("Pipe entry"));
        window.resize(120, 80);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        xcb_change_property(x->connection(), XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()),
            x->atom("_GTK_APPLICATION_ID"), x->atom("UTF8_STRING"), 8, 1, "x");
        xcb_flush(x->connection());

        const qint32 pid = qint32(QCoreApplication::applicationPid());
        const auto listed = [pid] {
            X11Workspace workspace;
            for (const RunningApplication& app : workspace.runningApplications())
                if (app.processIdentifier == pid)
                    return true;
            return false;
        };
        bool found = false;
        for (int attempt = 0; attempt < 100 && !found; ++attempt) {
            auto lookup = std::async(std::launch::async, listed);
            const bool answered = lookup.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
            // Let a blocked reader go, as often as it blocks, so that the test can end.
            while (!answered && lookup.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
                ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
            QVERIFY2(answered, "listing the running applications waited on the pipe");
            found = lookup.get();
            if (!found)
                QTest::qWait(100); // the window manager lists the window once it manages it
        }
        QVERIFY(found);
        QFile::remove(pipe);
    }

    void openAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https, exactly as written") << "https://Example.org/a%20b?q=1#f" << true;
        QTest::newRow("http") << "http://example.org" << true;
        QTest::newRow("mailto, any case") << "MAILTO:someone@example.org" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("script") << "javascript:alert(1)" << false;
        QTest::newRow("no scheme") << "example.org" << false;
        QTest::newRow("a second line") << "https://example.org\n--help" << false;
        QTest::newRow("option-like") << "-https://example.org" << false;
    }
    void openAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, opened);
        QFile::remove(m_opened);
        X11Workspace workspace;
        QCOMPARE(workspace.openAddress(address), opened);
        if (opened) {
            QTRY_COMPARE(contents(m_opened), address.toUtf8() + '\n');
        } else {
            QVERIFY(!QFile::exists(m_opened));
        }
    }

    void revealFile()
    {
        const QString path = m_home.filePath(QStringLiteral("folder with space/Tessellon.json"));
        write(path, "{}");
        X11Workspace workspace;

        // No file manager on the bus: its folder opens.
        QFile::remove(m_opened);
        QVERIFY(workspace.revealFile(path));
        QTRY_COMPARE(contents(m_opened), m_home.filePath(QStringLiteral("folder with space")).toUtf8() + '\n');

        // With one, the file is shown selected.
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fm"));
        FileManager manager;
        QVERIFY(bus.registerObject(
            QStringLiteral("/org/freedesktop/FileManager1"), &manager, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        QFile::remove(m_opened);
        QVERIFY(workspace.revealFile(path));
        QTRY_COMPARE(manager.shown, QStringList {QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)});
        QVERIFY(!QFile::exists(m_opened));
        bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fm"));
    }
};

TESSELLON_GUI_TEST_MAIN(TestX11WorkspaceApplications)
#include "tst_X11WorkspaceApplications.moc"
