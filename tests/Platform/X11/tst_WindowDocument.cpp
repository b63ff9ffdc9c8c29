// The file a window shows, from its title and from its process's open files: only existing
// regular files count, and a FIFO named by a title neither counts nor blocks.

#include "Platform/X11/WindowDocument.h"
#include "support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestWindowDocument : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QTemporaryDir m_other;

    void touch(const QString& path)
    {
        QDir().mkpath(path.section(u'/', 0, -2));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("document\n");
    }

private slots:
    void initTestCase()
    {
        touch(m_home.path() + u"/docs/known.txt"_s);
        touch(m_home.path() + u"/docs/two words - draft.txt"_s);
        touch(m_other.path() + u"/report.pdf"_s);
        QVERIFY(::mkfifo(QFile::encodeName(m_home.path() + u"/docs/pipe"_s).constData(), 0600) == 0);
    }

    void fromTitle_data()
    {
        QTest::addColumn<QString>("title"); // ~ stands for the home folder, @ for the other folder
        QTest::addColumn<QString>("path"); // empty: none
        const QString known = u"~/docs/known.txt"_s;
        QTest::newRow("absolute path") << u"@/report.pdf"_s << u"@/report.pdf"_s;
        QTest::newRow("path below home, program after") << u"~/docs/known.txt - Mousepad"_s << known;
        QTest::newRow("gedit: name (folder)") << u"known.txt (~/docs) - gedit"_s << known;
        QTest::newRow("unsaved mark") << u"*known.txt (~/docs) \u2014 Text Editor"_s << known;
        QTest::newRow("name, then folder") << u"known.txt - ~/docs - Geany"_s << known;
        QTest::newRow("absolute folder in parentheses") << u"report.pdf (@) - gedit"_s << u"@/report.pdf"_s;
        QTest::newRow("separator inside the name")
            << u"two words - draft.txt (~/docs) - gedit"_s << u"~/docs/two words - draft.txt"_s;
        QTest::newRow("name alone") << u"known.txt - AbiWord"_s << QString();
        QTest::newRow("missing file") << u"gone.txt (~/docs) - gedit"_s << QString();
        QTest::newRow("a folder") << u"~/docs - Files"_s << QString();
        QTest::newRow("a FIFO") << u"pipe (~/docs) - gedit"_s << QString();
        QTest::newRow("climbing out of the name") << u".. (~/docs/known.txt) - gedit"_s << QString();
        QTest::newRow("relative path") << u"docs/known.txt"_s << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("too long") << (u"~/docs/known.txt - "_s + QString(5000, u'x')) << QString();
    }
    void fromTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, path);
        const auto expand = [&](QString s) {
            s.replace(u'~', m_home.path());
            return s.replace(u'@', m_other.path());
        };
        QElapsedTimer timer;
        timer.start();
        const auto found = WindowDocument::fromTitle(expand(title), m_home.path());
        QVERIFY2(timer.elapsed() < 1000, "looking at the title blocked");
        QCOMPARE(found.value_or(QString()), path.isEmpty() ? QString() : expand(path));
    }

    // This test process stands for the window's process: what it holds open is what counts.
    void fromOpenFiles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("found");
        QTest::newRow("title shows the name") << u"held-open.txt \u2014 Viewer"_s << true;
        QTest::newRow("name as a whole word only") << u"my-held-open.txt.bak"_s << false;
        QTest::newRow("name not shown") << u"Document Viewer"_s << false;
        QTest::newRow("a FIFO held open") << u"held-pipe"_s << false;
    }
    void fromOpenFiles()
    {
        QFETCH(QString, title);
        QFETCH(bool, found);
        const QString document = m_other.path() + u"/held-open.txt"_s;
        touch(document);
        QFile held(document);
        QVERIFY(held.open(QIODevice::ReadOnly));
        const QByteArray pipe = QFile::encodeName(m_other.path() + u"/held-pipe"_s);
        ::unlink(pipe.constData());
        QVERIFY(::mkfifo(pipe.constData(), 0600) == 0);
        const int fifo = ::open(pipe.constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(fifo >= 0);
        const auto path = WindowDocument::fromOpenFiles(qint32(::getpid()), title);
        ::close(fifo);
        QCOMPARE(path.value_or(QString()), found ? document : QString());
    }

    void titleComesFirst()
    {
        const QString held = m_other.path() + u"/known.txt"_s;
        touch(held);
        QFile file(held);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString title = u"known.txt ("_s + m_home.path() + u"/docs) - gedit"_s;
        QCOMPARE(WindowDocument::path(qint32(::getpid()), title), m_home.path() + u"/docs/known.txt"_s);
        QCOMPARE(WindowDocument::path(qint32(::getpid()), u"known.txt - AbiWord"_s), held);
        QVERIFY(!WindowDocument::fromOpenFiles(0, title));
    }
};

TESSELLON_TEST_MAIN(TestWindowDocument)
#include "tst_WindowDocument.moc"
