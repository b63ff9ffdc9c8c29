// The export dialog's starting folder: the folder of the last export, else the documents
// folder, else home; never the working directory the program was started in.

#include "Zubra/Composer/ComposerState.h"
#include "ZubraCore/Support/AppSettings.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

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

    void theChosenFolderIsRememberedForTheNextExport()
    {
        QVERIFY(QDir().mkpath(path(u"home/Documents"_s)));
        QVERIFY(QDir().mkpath(path(u"elsewhere"_s)));
        QSettings settings(path(u"settings.ini"_s), QSettings::IniFormat);
        settings.clear();
        DialogExportFileChooser chooser(&settings);
        QString shown;
        QCOMPARE(choose(chooser, path(u"elsewhere/notes.md"_s), shown), path(u"elsewhere/notes.md"_s));
        QCOMPARE(shown, path(u"home/Documents"_s));
        QCOMPARE(choose(chooser, {}, shown), std::nullopt);
        QCOMPARE(shown, path(u"elsewhere"_s));
    }
};

TESSELLON_GUI_TEST_MAIN(TestExportFileChooser)
#include "tst_ExportFileChooser.moc"
