// The export mode of the real program: its command line, its messages and exit codes, the files it
// writes at their pixel sizes, nothing left behind, and every image against its reference.

#include "Platform/DiskFileSystem.h"
#include "Zubra/SurfaceExport/SurfaceRenderer.h"
#include "support/TestMain.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program with its temporary folder inside `temp`, so that leftovers show.
Run runExport(const QStringList& arguments, const QString& temp, const QString& workingDirectory = {})
{
    static QTemporaryDir runtime; // Qt makes one in the temporary folder when there is none
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TMPDIR"_s, temp);
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.insert(u"TZ"_s, u"America/Los_Angeles"_s); // the export must not depend on it
    env.insert(u"LANG"_s, u"de_DE.UTF-8"_s);
    process.setProcessEnvironment(env);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(TESSELLON_PROGRAM), arguments);
    if (!process.waitForFinished(120'000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

const QList<std::pair<QString, QSize>>& fullSet()
{
    static const QList<std::pair<QString, QSize>> files {
        {u"library-wide.png"_s, {1120, 660}}, {u"library-compact.png"_s, {980, 600}},
        {u"compose-wide.png"_s, {1280, 760}}, {u"compose-compact.png"_s, {980, 600}},
        {u"library-dark.png"_s, {1120, 660}}, {u"compose-dark.png"_s, {1280, 760}}, {u"detail.png"_s, {420, 660}},
        {u"settings.png"_s, {520, 380}}, {u"welcome.png"_s, {520, 520}}, {u"empty-library.png"_s, {980, 600}},
        {u"empty-compose.png"_s, {980, 600}}, {u"empty-search.png"_s, {500, 360}},
        {u"empty-scope.png"_s, {500, 360}}, {u"sheet-trim.png"_s, {520, 380}}, {u"sheet-import.png"_s, {540, 420}},
        {u"sheet-save-template.png"_s, {340, 180}}, {u"sheet-new-group.png"_s, {360, 190}},
        {u"library-unreadable-light.png"_s, {980, 600}}, {u"library-unreadable-dark.png"_s, {980, 600}},
        {u"library-incompatible-light.png"_s, {980, 600}}, {u"library-incompatible-dark.png"_s, {980, 600}},
    };
    return files;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// Compares an image with its reference: channels may differ by a little (antialiasing), and only
// a few pixels by more. On failure the actual image and a difference image are written beside.
bool matchesGolden(const QString& actualPath, const QString& name, QString* why)
{
    const QString reference = QStringLiteral(TESSELLON_TEST_DATA) + u"/golden/"_s + name;
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_ARGB32);
    const QImage actual = QImage(actualPath).convertToFormat(QImage::Format_ARGB32);
    if (expected.isNull()) {
        *why = u"no reference image "_s + reference + u" (run scripts/update-golden)"_s;
        return false;
    }
    if (expected.size() != actual.size()) {
        *why = u"size differs"_s;
        return false;
    }
    constexpr int channelTolerance = 24;
    const qsizetype allowed = qsizetype(expected.width()) * expected.height() / 500; // 0.2 %
    QImage difference(expected.size(), QImage::Format_ARGB32);
    difference.fill(Qt::black);
    qsizetype differing = 0;
    for (int y = 0; y < expected.height(); ++y) {
        const auto* e = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
        const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
        for (int x = 0; x < expected.width(); ++x) {
            const int d = std::max({std::abs(qRed(e[x]) - qRed(a[x])), std::abs(qGreen(e[x]) - qGreen(a[x])),
                std::abs(qBlue(e[x]) - qBlue(a[x])), std::abs(qAlpha(e[x]) - qAlpha(a[x]))});
            if (d > channelTolerance) {
                ++differing;
                difference.setPixel(x, y, qRgb(255, 0, 0));
            }
        }
    }
    if (differing <= allowed)
        return true;
    const QString out = QDir(QStringLiteral(TESSELLON_BINARY_DIR)).filePath(u"golden-failures"_s);
    QDir().mkpath(out);
    QFile::copy(actualPath, out + u"/"_s + name);
    difference.save(out + u"/diff-"_s + name);
    *why = QString::number(differing) + u" pixels differ (at most "_s + QString::number(allowed) + u"); see "_s + out;
    return false;
}

} // namespace

class SurfaceExportTest : public QObject
{
    Q_OBJECT

private slots:
    void fullSetMatchesItsReferences()
    {
        QTemporaryDir temp;
        QTemporaryDir out;
        const Run run = runExport({u"-exportUISurfaces"_s, out.path()}, temp.path());
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, (u"==> UI surfaces: "_s + out.path() + u"\n"_s).toUtf8());
        QStringList expectedNames;
        for (const auto& [name, size] : fullSet())
            expectedNames.append(name);
        QCOMPARE(sorted(QDir(out.path()).entryList(QDir::Files)), sorted(expectedNames));
        for (const auto& [name, size] : fullSet())
            QCOMPARE(QImage(out.filePath(name)).size(), size);
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QStringList mismatches;
        for (const auto& [name, size] : fullSet()) {
            QString why;
            if (!matchesGolden(out.filePath(name), name, &why))
                mismatches.append(name + u": "_s + why);
        }
        if (!mismatches.isEmpty())
            QFAIL(qPrintable(mismatches.join(u"\n"_s)));
    }

    void storageFailureSetAlone()
    {
        QTemporaryDir temp;
        QTemporaryDir out;
        const Run run = runExport({u"-exportStorageFailureSurfaces"_s, out.path()}, temp.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.out, (u"==> UI surfaces: "_s + out.path() + u"\n"_s).toUtf8());
        QCOMPARE(sorted(QDir(out.path()).entryList(QDir::Files)),
            sorted({u"library-unreadable-light.png"_s, u"library-unreadable-dark.png"_s,
                u"library-incompatible-light.png"_s, u"library-incompatible-dark.png"_s}));
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void createdFoldersFollowTheUmask_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("mode");
        QTest::newRow("022") << 022 << 0755;
        QTest::newRow("077") << 077 << 0700;
    }
    void createdFoldersFollowTheUmask()
    {
        // The images are the user's to keep and share, and so are the folders made for them.
        QFETCH(int, umask);
        QFETCH(int, mode);
        QTemporaryDir temp;
        QTemporaryDir out;
        const mode_t previous = ::umask(mode_t(umask));
        const Run run = runExport({u"-exportStorageFailureSurfaces"_s, out.filePath(u"p/q"_s)}, temp.path());
        ::umask(previous);
        QCOMPARE(run.exitCode, 0);
        for (const QString& folder : {u"p"_s, u"p/q"_s}) {
            struct stat status {};
            QCOMPARE(::stat(QFile::encodeName(out.filePath(folder)).constData(), &status), 0);
            QCOMPARE(int(status.st_mode & 0777), mode);
        }
    }

    void sampleScreenshot()
    {
        QTemporaryDir temp;
        QTemporaryDir out;
        const QString path = out.filePath(u"nested/folder/shot.png"_s);
        const Run run = runExport({u"-exportSampleScreenshot"_s, path}, temp.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.out, (u"==> sample screenshot: "_s + path + u"\n"_s).toUtf8());
        QCOMPARE(QImage(path).size(), QSize(2240, 1320));
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QString why;
        QVERIFY2(matchesGolden(path, u"sample-screenshot.png"_s, &why), qPrintable(why));
    }

    void errors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("message");
        const QByteArray directory = "error: Provide an output directory after -exportUISurfaces.\n";
        QTest::newRow("surfaces flag last") << QStringList {u"-exportUISurfaces"_s} << directory;
        QTest::newRow("storage flag last names the surfaces flag")
            << QStringList {u"-exportStorageFailureSurfaces"_s} << directory;
        QTest::newRow("screenshot flag last")
            << QStringList {u"-exportSampleScreenshot"_s}
            << QByteArray("error: Provide an output path after -exportSampleScreenshot.\n");
        QTest::newRow("surfaces flag wins over a complete screenshot pair")
            << QStringList {u"-exportSampleScreenshot"_s, u"out.png"_s, u"-exportUISurfaces"_s} << directory;
    }
    void errors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, message);
        QTemporaryDir temp;
        const Run run = runExport(arguments, temp.path(), temp.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(run.err, message);
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void writeFailureGivesTheSystemsDescription()
    {
        // A file size limit makes the kernel refuse the write (EFBIG) as a full disk would (ENOSPC):
        // the message is the system's description of that very error, never "Unknown error".
        QTemporaryDir temp;
        const QString path = temp.filePath(u"big.png"_s);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        DiskFileSystem disk;
        const std::optional<QString> error = AppScreenshotExporter::writeImage(disk, path, QByteArray(64 * 1024, 'x'));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(error);
        QVERIFY2(error->endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(*error));
        QVERIFY(!QFile::exists(path));
        const mode_t previousMask = ::umask(022);
        const bool written = !AppScreenshotExporter::writeImage(disk, path, QByteArray(64 * 1024, 'x'));
        ::umask(previousMask);
        QVERIFY(written);
        QCOMPARE(QFileInfo(path).size(), 64 * 1024);
        // An exported image is the user's file, readable as the umask allows.
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, mode_t(0644));
    }

    void unwritableFolderFailsWithTheSystemsReason()
    {
        QTemporaryDir temp;
        QFile blocker(temp.filePath(u"file"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const Run run = runExport({u"-exportStorageFailureSurfaces"_s, temp.filePath(u"file/sub"_s)}, temp.path());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("error: ") && run.err.endsWith(QByteArray(std::strerror(ENOTDIR)) + '\n'),
            run.err.constData());
        QCOMPARE(run.out, QByteArray());
    }
};

TESSELLON_TEST_MAIN(SurfaceExportTest)
#include "tst_SurfaceExport.moc"
