#include "Zubra/SurfaceExport/ExportFlags.h"
#include "support/TestMain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace AppScreenshotExporter;

Q_DECLARE_METATYPE(AppScreenshotExporter::RequestedPath)

namespace {

RequestedPath path(const QString& p)
{
    return {p, std::nullopt};
}

RequestedPath failure(ExportError e)
{
    return {std::nullopt, e};
}

// "@" stands for the current folder in the expected paths.
RequestedPath resolved(RequestedPath expected, const QString& cwd)
{
    if (expected.path && expected.path->startsWith(QLatin1Char('@')))
        expected.path = cwd + expected.path->mid(1);
    return expected;
}

} // namespace

class TestExportFlags : public QObject
{
    Q_OBJECT

private slots:
    void flags_data();
    void flags();
    void rawArgumentsKeepEveryWord();
};

void TestExportFlags::flags_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<RequestedPath>("surfaces");
    QTest::addColumn<RequestedPath>("output");
    QTest::addColumn<bool>("exportRun");
    const QString app = QStringLiteral("/usr/bin/tessellon");
    const RequestedPath none;

    QTest::newRow("no flag") << QStringList {app, "-showWindowOnLaunch"} << none << none << false;
    QTest::newRow("surfaces last") << QStringList {app, "-exportUISurfaces"}
                                   << failure(ExportError::missingSurfacesDirectory) << none << true;
    QTest::newRow("storage failure last") << QStringList {app, "-exportStorageFailureSurfaces"}
                                          << failure(ExportError::missingSurfacesDirectory) << none << true;
    QTest::newRow("screenshot last") << QStringList {app, "-exportSampleScreenshot"} << none
                                     << failure(ExportError::missingOutputPath) << true;
    QTest::newRow("absolute folder") << QStringList {app, "-exportUISurfaces", "/tmp/shots"} << path("/tmp/shots")
                                     << none << true;
    QTest::newRow("dot dot removed") << QStringList {app, "-exportUISurfaces", "/Volumes/Data/shots/../out"}
                                     << path("/Volumes/Data/out") << none << true;
    QTest::newRow("dot dot above the root") << QStringList {app, "-exportUISurfaces", "/a/../../../out"}
                                            << path("/out") << none << true;
    QTest::newRow("only dot dots above the root") << QStringList {app, "-exportSampleScreenshot", "/../.."} << none
                                                  << path("/") << true;
    QTest::newRow("relative, climbing past the root")
        << QStringList {app, "-exportUISurfaces",
               QStringLiteral("../").repeated(QDir::current().absolutePath().count(u'/') + 3) + "shots"}
        << path("/shots") << none << true;
    QTest::newRow("trailing slash and dots") << QStringList {app, "-exportUISurfaces", "/a/./b//c/"}
                                             << path("/a/b/c") << none << true;
    QTest::newRow("relative folder") << QStringList {app, "-exportUISurfaces", "out"} << path("@/out") << none
                                     << true;
    QTest::newRow("empty value") << QStringList {app, "-exportUISurfaces", ""} << path("@") << none << true;
    QTest::newRow("first of two surfaces flags") << QStringList {app, "-exportUISurfaces", "/a", "-exportUISurfaces",
                                                        "/b"}
                                                 << path("/a") << none << true;
    QTest::newRow("storage flag first")
        << QStringList {app, "-exportStorageFailureSurfaces", "/s", "-exportUISurfaces", "/u"} << path("/s") << none
        << true;
    QTest::newRow("a flag as the value") << QStringList {app, "-exportUISurfaces", "-exportSampleScreenshot"}
                                         << path("@/-exportSampleScreenshot")
                                         << failure(ExportError::missingOutputPath) << true;
    QTest::newRow("screenshot then surfaces last")
        << QStringList {app, "-exportSampleScreenshot", "out.png", "-exportUISurfaces"}
        << failure(ExportError::missingSurfacesDirectory) << path("@/out.png") << true;
    QTest::newRow("screenshot file") << QStringList {app, "-exportSampleScreenshot", "/tmp/../tmp/s.png"} << none
                                     << path("/tmp/s.png") << true;
    QTest::newRow("two hyphens is no flag") << QStringList {app, "--exportUISurfaces", "/a"} << none << none << false;
    QTest::newRow("other case is no flag") << QStringList {app, "-exportuisurfaces", "/a"} << none << none << false;
    QTest::newRow("program path is looked at") << QStringList {"-exportUISurfaces", "/a"} << path("/a") << none
                                               << true;
    QTest::newRow("no arguments at all") << QStringList {} << none << none << false;
}

void TestExportFlags::flags()
{
    QFETCH(QStringList, arguments);
    QFETCH(RequestedPath, surfaces);
    QFETCH(RequestedPath, output);
    QFETCH(bool, exportRun);
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));
    const QString here = QDir::currentPath();
    const RequestedPath actualSurfaces = requestedSurfacesDirectory(arguments);
    const RequestedPath actualOutput = requestedOutputURL(arguments);
    QDir::setCurrent(previous);
    QCOMPARE(actualSurfaces.path, resolved(surfaces, here).path);
    QCOMPARE(actualSurfaces.error, surfaces.error);
    QCOMPARE(actualOutput.path, resolved(output, here).path);
    QCOMPARE(actualOutput.error, output.error);
    QCOMPARE(isExportRun(arguments), exportRun);
}

void TestExportFlags::rawArgumentsKeepEveryWord()
{
    // Single-dash words stay whole, and arguments Qt itself would take are kept.
    const char* argv[] = {"tessellon", "-exportUISurfaces", "-platform", "x y", "\xc3\xa9t\xc3\xa9"};
    QCOMPARE(rawArguments(5, argv),
        (QStringList {"tessellon", "-exportUISurfaces", "-platform", "x y", QStringLiteral("\u00e9t\u00e9")}));
}

TESSELLON_TEST_MAIN(TestExportFlags)
#include "tst_ExportFlags.moc"
