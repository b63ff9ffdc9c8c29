// Desktop entries as the workspace reads them: ids, names, window classes, and bad files.

#include "Platform/Workspace.h"
#include "Platform/X11/DesktopEntries.h"
#include "Platform/X11/IconTheme.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
void write(const QString& path, const QByteArray& body)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(body);
}
} // namespace

class TestDesktopEntries : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("name"); // empty: no entry
        QTest::newRow("plain") << QByteArray("[Desktop Entry]\nType=Application\nName=Editor\n") << "Editor";
        QTest::newRow("localized for en_US")
            << QByteArray("[Desktop Entry]\nName=Editor\nName[de]=Bearbeiter\nName[en]=Ed\nType=Application\n") << "Ed";
        QTest::newRow("escapes") << QByteArray("[Desktop Entry]\nType=Application\nName=A\\sB\\\\C\n") << "A B\\C";
        QTest::newRow("other group ignored")
            << QByteArray("[Desktop Action new]\nName=New Window\n[Desktop Entry]\nType=Application\nName=Main\n")
            << "Main";
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n") << "";
        QTest::newRow("a link, not an application") << QByteArray("[Desktop Entry]\nType=Link\nName=Site\n") << "";
        QTest::newRow("no name") << QByteArray("[Desktop Entry]\nType=Application\n") << "";
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[Desktop", 10) << "";
        QTest::newRow("over the size cap")
            << (QByteArray("[Desktop Entry]\nType=Application\nName=Big\n") + QByteArray(300 * 1024, '#')) << "";
    }
    void read()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, name);
        QTemporaryDir dir;
        write(dir.path() + QStringLiteral("/a.desktop"), body);
        const auto entry = DesktopEntries::read(dir.path() + QStringLiteral("/a.desktop"), QStringLiteral("a"));
        QCOMPARE(entry.has_value(), !name.isEmpty());
        if (entry)
            QCOMPARE(entry->name, name);
    }

    void oversizedNameIsCut()
    {
        const QString huge(250'000, u'x');
        const auto entry = DesktopEntries::parse(
            "[Desktop Entry]\nType=Application\nName=" + huge.toUtf8() + "\n", QStringLiteral("a"));
        QVERIFY(entry);
        QCOMPARE(entry->name, huge.left(RunningApplication::maxNameLength));
    }

    // Whatever else stands where an entry or an icon is looked for is never opened for reading:
    // a pipe without a writer would keep the caller waiting for ever.
    void specialFilesNeverBlock_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("pipe") << "fifo";
        QTest::newRow("link to a pipe") << "link";
        QTest::newRow("folder") << "folder";
        QTest::newRow("device") << "device";
    }
    void specialFilesNeverBlock()
    {
        QFETCH(QString, kind);
        QTemporaryDir home;
        const QString applications = home.path() + QStringLiteral("/applications");
        QVERIFY(QDir().mkpath(applications));
        const QString fifo = home.path() + QStringLiteral("/pipe");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString entry = applications + QStringLiteral("/x.desktop");
        const QString icon = home.path() + QStringLiteral("/icon.png");
        for (const QString& path : {entry, icon}) {
            if (kind == u"fifo")
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            else if (kind == u"link")
                QVERIFY(QFile::link(fifo, path));
            else if (kind == u"folder")
                QVERIFY(QDir().mkdir(path));
            else
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        }
        write(applications + QStringLiteral("/y.desktop"), "[Desktop Entry]\nType=Application\nName=Y\n");

        auto lookups = std::async(std::launch::async, [&] {
            return !DesktopEntries::read(entry, QStringLiteral("x")) && !DesktopEntries::byId(QStringLiteral("x"), {applications})
                && DesktopEntries::all({applications}).size() == 1 && !IconTheme::resolve(icon, {});
        });
        const bool finished = lookups.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        // Let a blocked reader go, as often as it blocks, so that the test can end.
        while (!finished && lookups.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            for (const QString& path : {entry, icon, fifo})
                ::close(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK));
        QVERIFY2(finished, "a lookup waited on a special file");
        QVERIFY(lookups.get());
    }

    void lookups()
    {
        QTemporaryDir user, system;
        const QString u = user.path() + QStringLiteral("/applications");
        const QString s = system.path() + QStringLiteral("/applications");
        const QByteArray head("[Desktop Entry]\nType=Application\n");
        write(u + QStringLiteral("/org.example.Notes.desktop"), head + "Name=User Notes\n");
        write(s + QStringLiteral("/org.example.Notes.desktop"), head + "Name=System Notes\n");
        write(s + QStringLiteral("/vendor/tool.desktop"), head + "Name=Vendor Tool\n");
        write(s + QStringLiteral("/notes.desktop"), head + "Name=By File Name\n");
        write(s + QStringLiteral("/zz-declares.desktop"), head + "Name=Declares Class\nStartupWMClass=Notes\n");
        const QStringList dirs {u, s};

        QCOMPARE(DesktopEntries::byId(QStringLiteral("org.example.Notes"), dirs)->name, QStringLiteral("User Notes"));
        QCOMPARE(DesktopEntries::byId(QStringLiteral("org.example.Notes.desktop"), dirs)->id,
            QStringLiteral("org.example.Notes"));
        QCOMPARE(DesktopEntries::byId(QStringLiteral("vendor-tool"), dirs)->name, QStringLiteral("Vendor Tool"));
        QVERIFY(!DesktopEntries::byId(QStringLiteral("../applications/notes"), dirs));
        QVERIFY(!DesktopEntries::byId(QStringLiteral("missing"), dirs));

        // A declared window class beats a matching file name, whatever the order of the files.
        QCOMPARE(DesktopEntries::forWindowClass(QStringLiteral("notes"), QStringLiteral("Notes"), dirs)->id,
            QStringLiteral("zz-declares"));
        // Without a declaration: the id, or its last dotted part, ignoring case.
        QCOMPARE(DesktopEntries::forWindowClass(QStringLiteral("tool"), QStringLiteral("TOOL"), dirs), std::nullopt);
        QVERIFY(DesktopEntries::forWindowClass(QStringLiteral("vendor-tool"), QString(), dirs));
        QCOMPARE(DesktopEntries::forWindowClass(QString(), QStringLiteral("Notes"), {u})->id,
            QStringLiteral("org.example.Notes"));
        QVERIFY(!DesktopEntries::forWindowClass(QString(), QString(), dirs));
    }

    // Two entries declare the same class (an editor and its client): the one that starts the
    // window's own program wins, whatever the order of the files; without a match, the first.
    void sharedClassGoesToTheProcessProgram_data()
    {
        QTest::addColumn<QStringList>("processPrograms"); // @ stands for the folder of programs
        QTest::addColumn<QString>("id"); // empty: the first of the lookup order
        QTest::newRow("by the executable's path") << QStringList {u"@/editor-gtk"_s} << u"zz-editor"_s;
        QTest::newRow("by the name it was started as") << QStringList {u"/x/y"_s, u"editor"_s} << u"zz-editor"_s;
        QTest::newRow("through env") << QStringList {u"/usr/bin/viewer"_s} << u"mm-viewer"_s;
        QTest::newRow("no process known") << QStringList {} << QString();
        QTest::newRow("another program") << QStringList {u"/usr/bin/other"_s} << QString();
    }
    void sharedClassGoesToTheProcessProgram()
    {
        QFETCH(QStringList, processPrograms);
        QFETCH(QString, id);
        QTemporaryDir dir;
        const QString apps = dir.path() + u"/applications"_s;
        const QString bin = dir.path() + u"/bin"_s;
        // "editor" is a link to the real executable, as an alternatives link is.
        write(bin + u"/editor-gtk"_s, "#!/bin/sh\n");
        QVERIFY(QFile::link(bin + u"/editor-gtk"_s, bin + u"/editor"_s));
        const QByteArray head("[Desktop Entry]\nType=Application\nStartupWMClass=Editor\n");
        write(apps + u"/aa-client.desktop"_s,
            head + "Name=Editor (Client)\nExec=sh -c \"exec editorclient \\\"\\\\$@\\\"\" sh %F\n"
                   "[Desktop Action new]\nExec=" + bin.toUtf8() + "/editor\n");
        write(apps + u"/mm-viewer.desktop"_s, head + "Name=Viewer\nExec=env LANG=C GDK_BACKEND=x11 viewer %U\n");
        write(apps + u"/zz-editor.desktop"_s, head + "Name=Editor\nExec=\"" + bin.toUtf8() + "/editor\" %F\n");
        for (QString& program : processPrograms)
            program.replace(u'@', QFileInfo(bin).canonicalFilePath());
        const auto entry = DesktopEntries::forWindowClass(u"editor"_s, u"Editor"_s, {apps}, processPrograms);
        QVERIFY(entry);
        QCOMPARE(entry->id, id.isEmpty() ? DesktopEntries::all({apps}).first().id : id);
    }
};

TESSELLON_TEST_MAIN(TestDesktopEntries)
#include "tst_DesktopEntries.moc"
