// The export dialog's starting folder: the folder of the last successful export, else the
// documents folder, else home; never the working directory the program was started in, and never
// a kernel file system's folder. The dialog reads no file's contents to name or draw it.

#include "Zubra/Composer/ComposerState.h"
#include "ZubraCore/Support/AppSettings.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Notes that a widget has been painted.
class PaintSeen final : public QObject
{
public:
    explicit PaintSeen(QWidget* widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        painted |= event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestExportFileChooser : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_home, m_configHome;
    QString m_workingDirectory;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Runs the chooser; once its dialog shows, notes the folder it shows and answers it with
    // `answer` (empty: cancel).
    std::optional<QString> choose(DialogExportFileChooser& chooser, const QString& answer, QString& shownFolder)
    {
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shownFolder = dialog->directory().absolutePath();
            if (answer.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(answer);
            static_cast<QDialog*>(dialog)->accept();
        });
        return chooser.chooseFile(nullptr, u"Export Prompt"_s, u"prompt.md"_s);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_home = qgetenv("HOME");
        m_configHome = qgetenv("XDG_CONFIG_HOME");
        m_workingDirectory = QDir::currentPath();
        QVERIFY(QDir().mkpath(path(u"home"_s)));
        QVERIFY(QDir().mkpath(path(u"config"_s))); // no user-dirs.dirs: documents are ~/Documents
        QVERIFY(QDir().mkpath(path(u"checkout"_s)));
        qputenv("HOME", QFile::encodeName(path(u"home"_s)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(u"config"_s)));
        QDir::setCurrent(path(u"checkout"_s));
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(m_workingDirectory);
        qputenv("HOME", m_home);
        qputenv("XDG_CONFIG_HOME", m_configHome);
    }

    void startFolder_data()
    {
        QTest::addColumn<bool>("documents"); // ~/Documents exists
        QTest::addColumn<QVariant>("remembered"); // invalid: nothing stored
        QTest::addColumn<QString>("expected"); // below the test's folder
        QTest::newRow("documents") << true << QVariant() << "home/Documents";
        QTest::newRow("home without a documents folder") << false << QVariant() << "home";
        QTest::newRow("the last folder") << true << QVariant(path(u"shared"_s)) << "shared";
        QTest::newRow("the last folder is gone") << true << QVariant(path(u"gone"_s)) << "home/Documents";
        QTest::newRow("the last folder is a file") << true << QVariant(path(u"file"_s)) << "home/Documents";
        QTest::newRow("not text") << true << QVariant(42) << "home/Documents";
        // Their files may block whoever reads them (/proc/kmsg does, for root).
        QTest::newRow("the last folder is /proc") << true << QVariant(u"/proc"_s) << "home/Documents";
        QTest::newRow("the last folder is in /sys") << true << QVariant(u"/sys/kernel"_s) << "home/Documents";
        QTest::newRow("the last folder is /dev") << true << QVariant(u"/dev"_s) << "home/Documents";
    }
    void startFolder()
    {
        QFETCH(bool, documents);
        QFETCH(QVariant, remembered);
        QFETCH(QString, expected);
        QDir(path(u"home/Documents"_s)).removeRecursively();
        if (documents)
            QVERIFY(QDir().mkpath(path(u"home/Documents"_s)));
        QVERIFY(QDir().mkpath(path(u"shared"_s)));
        QFile file(path(u"file"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QSettings settings(path(u"settings.ini"_s), QSettings::IniFormat);
        settings.clear();
        if (remembered.isValid())
            settings.setValue(AppSettings::lastExportFolderKey, remembered);

        DialogExportFileChooser chooser(&settings);
        QString shown;
        QVERIFY(!choose(chooser, {}, shown));
        QCOMPARE(shown, path(expected));
        // A cancelled dialog remembers nothing.
        QCOMPARE(settings.value(AppSettings::lastExportFolderKey), remembered);
    }

    void onlyAFolderWrittenIntoIsRemembered_data()
    {
        QTest::addColumn<QString>("chosen"); // relative: below the test's folder
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("remembered"); // below the test's folder; empty: nothing
        QTest::newRow("written") << "elsewhere/notes.md" << true << "elsewhere";
        QTest::newRow("chosen, but the write failed") << "elsewhere/notes.md" << false << "";
        QTest::newRow("written into /proc") << "/proc/q3.md" << true << "";
    }
    void onlyAFolderWrittenIntoIsRemembered()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, written);
        QFETCH(QString, remembered);
        QVERIFY(QDir().mkpath(path(u"home/Documents"_s)));
        QVERIFY(QDir().mkpath(path(u"elsewhere"_s)));
        QSettings settings(path(u"settings.ini"_s), QSettings::IniFormat);
        settings.clear();
        DialogExportFileChooser chooser(&settings);
        const QString answer = chosen.startsWith(u'/') ? chosen : path(chosen);
        QString shown;
        QCOMPARE(choose(chooser, answer, shown), answer);
        QCOMPARE(shown, path(u"home/Documents"_s));
        if (written)
            chooser.exported(answer);
        QCOMPARE(choose(chooser, {}, shown), std::nullopt);
        QCOMPARE(shown, path(remembered.isEmpty() ? u"home/Documents"_s : remembered));
    }

    void dialogPaintsPromptlyWithARememberedProcFolder()
    {
        QSettings settings(path(u"settings.ini"_s), QSettings::IniFormat);
        settings.clear();
        settings.setValue(AppSettings::lastExportFolderKey, u"/proc"_s);
        DialogExportFileChooser chooser(&settings);
        bool painted = false;
        QString shownFolder;
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shownFolder = dialog->directory().absolutePath();
            PaintSeen seen(dialog);
            QTRY_VERIFY_WITH_TIMEOUT(seen.painted, 1000);
            painted = clock.elapsed() < 1000;
            dialog->reject();
        });
        QCOMPARE(chooser.chooseFile(nullptr, u"Export Prompt"_s, u"prompt.md"_s), std::nullopt);
        QVERIFY(painted);
        QVERIFY(!shownFolder.startsWith(u"/proc"_s));
    }

    void dialogNamesFilesByTheirNames()
    {
        // A PDF without an extension: named by its contents only if they are read.
        QVERIFY(QDir().mkpath(path(u"mixed"_s)));
        QFile file(path(u"mixed/report"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n");
        file.close();
        QMimeDatabase types;
        QCOMPARE(types.mimeTypeForFile(path(u"mixed/report"_s)).name(), u"application/pdf"_s);
        QSettings settings(path(u"settings.ini"_s), QSettings::IniFormat);
        settings.clear();
        settings.setValue(AppSettings::lastExportFolderKey, path(u"mixed"_s));
        DialogExportFileChooser chooser(&settings);
        QString type;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* files = dialog->findChild<QFileSystemModel*>();
            QVERIFY(files);
            const QModelIndex report = files->index(path(u"mixed/report"_s), 2);
            QTRY_VERIFY(!files->data(report).toString().isEmpty());
            type = files->data(report).toString();
            dialog->reject();
        });
        QCOMPARE(chooser.chooseFile(nullptr, u"Export Prompt"_s, u"prompt.md"_s), std::nullopt);
        QVERIFY2(type != types.mimeTypeForName(u"application/pdf"_s).comment(), qPrintable(type));
    }
};

TESSELLON_GUI_TEST_MAIN(TestExportFileChooser)
#include "tst_ExportFileChooser.moc"
