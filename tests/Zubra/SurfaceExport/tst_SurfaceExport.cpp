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
#include <memory>
#include <tuple>
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

// The luminance of text in an area of an image: the pixels that stand apart from the area's most
// common colour (its background), with the darkest and the brightest of them.
struct Ink
{
    int pixels = 0;
    int darkest = 255;
    int brightest = 0;
};

Ink inkIn(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most)
            std::tie(background, most) = std::pair(it.key(), it.value());
    const int backgroundLuminance = qGray(background);
    Ink ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const int luminance = qGray(image.pixel(x, y));
            if (std::abs(luminance - backgroundLuminance) < 40)
                continue;
            ++ink.pixels;
            ink.darkest = std::min(ink.darkest, luminance);
            ink.brightest = std::max(ink.brightest, luminance);
        }
    return ink;
}

// The share of an area's pixels in the accent's hue: clearly blue, not grey.
double accentShare(const QImage& image, const QRect& area)
{
    int accent = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            accent += c.blue() - c.red() > 60;
        }
    return double(accent) / double(area.width() * area.height());
}

} // namespace

class SurfaceExportTest : public QObject
{
    Q_OBJECT

    // One export of the full set, made on first use, for the tests that read its pixels.
    QDir exportedSet()
    {
        if (!m_exported) {
            m_exported = std::make_unique<QTemporaryDir>();
            QTemporaryDir temp;
            const Run run = runExport({u"-exportUISurfaces"_s, m_exported->path()}, temp.path());
            if (run.exitCode != 0)
                qWarning("the export failed: %s", run.err.constData());
        }
        return QDir(m_exported->path());
    }
    std::unique_ptr<QTemporaryDir> m_exported;

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

    // What views colour themselves comes out as in the running windows: the secondary captions
    // grey on either scheme (not the scheme's text colour), "Get Started" filled with the accent.
    void colorsAsTheWindowsDrawThem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QString>("expected");
        QTest::newRow("wide: included and sources") << u"compose-wide.png"_s << QRect(520, 98, 140, 22) << u"grey"_s;
        QTest::newRow("wide: tokens") << u"compose-wide.png"_s << QRect(682, 92, 130, 18) << u"grey"_s;
        QTest::newRow("wide: estimate") << u"compose-wide.png"_s << QRect(1215, 93, 56, 17) << u"grey"_s;
        QTest::newRow("wide: footer hint") << u"compose-wide.png"_s << QRect(248, 728, 240, 20) << u"grey"_s;
        QTest::newRow("compact: included and sources")
            << u"compose-compact.png"_s << QRect(234, 124, 135, 18) << u"grey"_s;
        QTest::newRow("compact: tokens") << u"compose-compact.png"_s << QRect(556, 130, 128, 17) << u"grey"_s;
        QTest::newRow("compact: footer hint") << u"compose-compact.png"_s << QRect(248, 562, 190, 30) << u"grey"_s;
        QTest::newRow("empty: hint") << u"empty-compose.png"_s << QRect(245, 336, 276, 68) << u"grey"_s;
        QTest::newRow("empty: included and sources")
            << u"empty-compose.png"_s << QRect(234, 124, 135, 18) << u"grey"_s;
        QTest::newRow("dark: included and sources") << u"compose-dark.png"_s << QRect(520, 98, 140, 22) << u"grey"_s;
        QTest::newRow("dark: tokens") << u"compose-dark.png"_s << QRect(682, 92, 130, 18) << u"grey"_s;
        QTest::newRow("dark: footer hint") << u"compose-dark.png"_s << QRect(248, 728, 240, 20) << u"grey"_s;
        QTest::newRow("welcome: Get Started") << u"welcome.png"_s << QRect(416, 331, 78, 20) << u"accent"_s;
    }
    void colorsAsTheWindowsDrawThem()
    {
        QFETCH(QString, file);
        QFETCH(QRect, area);
        QFETCH(QString, expected);
        const QImage image = QImage(exportedSet().filePath(file)).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!image.isNull());
        if (expected == u"accent") {
            const double share = accentShare(image, area);
            QVERIFY2(share > 0.6, qPrintable(QString::number(share)));
            return;
        }
        const Ink ink = inkIn(image, area);
        const QString seen = QString::number(ink.pixels) + u" pixels, "_s + QString::number(ink.darkest) + u" to "_s
            + QString::number(ink.brightest);
        QVERIFY2(ink.pixels >= 20, qPrintable(seen));
        // Grey text on a light window never reaches black; on a dark one it never reaches white.
        const bool dark = qGray(image.pixel(area.topLeft())) < 128;
        if (dark)
            QVERIFY2(ink.brightest <= 200, qPrintable(seen));
        else
            QVERIFY2(ink.darkest >= 70, qPrintable(seen));
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
