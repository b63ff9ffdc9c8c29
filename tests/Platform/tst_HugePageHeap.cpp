// The program starting itself again with its heap in huge pages: same process, same arguments,
// the setting gone from the environment afterwards, the first start's time kept; not when turned
// off.

#include "Platform/HugePageHeap.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

bool hugePagesAvailable()
{
    QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
    if (!setting.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = setting.readAll();
    return line.contains('[') && !line.contains("[never]");
}

// Kilobytes of anonymous memory in huge pages, after allocating and touching 64 MB.
long anonHugePagesKB()
{
    constexpr size_t size = size_t(64) << 20;
    auto* block = static_cast<char*>(std::malloc(size));
    std::memset(block, 1, size);
    long total = 0;
    if (FILE* smaps = std::fopen("/proc/self/smaps_rollup", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, smaps))
            if (std::strncmp(line, "AnonHugePages:", 14) == 0)
                total = std::strtol(line + 14, nullptr, 10);
        std::fclose(smaps);
    }
    std::free(block);
    return total;
}

// The child: one "image" line per program image, then what it found after the restart.
int probe(int argc, char** argv)
{
    const std::string image = "image " + std::to_string(::getpid()) + '\n';
    [[maybe_unused]] const ssize_t written = ::write(1, image.data(), image.size());
    HugePageHeap::restartWithHugePages(argv, std::getenv("PROBE_SMALL_HEAP") == nullptr);
    const auto sinceStart = std::chrono::steady_clock::now() - HugePageHeap::processStart();
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("pid %d\ntunables %s\nmarker %s\nstarted %s\nhuge %ld\n", int(::getpid()), tunables ? tunables : "-",
        std::getenv("TESSELLON_STARTED_AT") ? "set" : "-", sinceStart.count() >= 0 ? "before" : "after",
        anonHugePagesKB());
    char name[64] = {};
    if (FILE* comm = std::fopen("/proc/self/comm", "r")) {
        if (!std::fgets(name, sizeof name, comm))
            name[0] = '\0';
        std::fclose(comm);
    }
    std::printf("name %s", name); // ends with its own line feed
    for (int i = 2; i < argc; ++i)
        std::printf("arg %s\n", argv[i]);
    return 0;
}

} // namespace

class TestHugePageHeap : public QObject
{
    Q_OBJECT

private slots:
    void restartsOnceKeepingArgumentsAndEnvironment_data()
    {
        QTest::addColumn<QString>("tunablesBefore"); // empty: none
        QTest::addColumn<bool>("largeHeap");
        QTest::addColumn<QString>("switchValue"); // TESSELLON_HUGE_PAGES; empty: unset
        QTest::newRow("no tunables") << QString() << true << QString();
        QTest::newRow("other tunables kept") << QStringLiteral("glibc.malloc.tcache_count=10") << true << QString();
        QTest::newRow("small heap: no restart") << QString() << false << QString();
        QTest::newRow("turned off: no restart") << QString() << true << QStringLiteral("0");
        QTest::newRow("on") << QString() << true << QStringLiteral("1");
    }
    void restartsOnceKeepingArgumentsAndEnvironment()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's allocator takes no glibc setting: no restart");
#endif
        QFETCH(QString, tunablesBefore);
        QFETCH(bool, largeHeap);
        QFETCH(QString, switchValue);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("GLIBC_TUNABLES"));
        if (!tunablesBefore.isEmpty())
            environment.insert(QStringLiteral("GLIBC_TUNABLES"), tunablesBefore);
        if (!largeHeap)
            environment.insert(QStringLiteral("PROBE_SMALL_HEAP"), QStringLiteral("1"));
        environment.remove(QStringLiteral("TESSELLON_HUGE_PAGES"));
        if (!switchValue.isEmpty())
            environment.insert(QStringLiteral("TESSELLON_HUGE_PAGES"), switchValue);
        child.setProcessEnvironment(environment);
        const QStringList arguments {QStringLiteral("--probe"), QStringLiteral("two words"), u"\u00fcber"_qs};
        child.start(QCoreApplication::applicationFilePath(), arguments);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        const auto value = [&lines](const QString& key) {
            for (const QString& line : lines)
                if (line.startsWith(key + u' '))
                    return line.mid(key.size() + 1);
            return QString();
        };
        // The same process ran each image.
        const QString pid = value(u"pid"_qs);
        const bool restarts = largeHeap && switchValue != u"0" && hugePagesAvailable();
        QCOMPARE(lines.filter(QRegularExpression(u"^image "_qs)),
            QStringList(restarts ? QStringList {u"image "_qs + pid, u"image "_qs + pid} : QStringList {u"image "_qs + pid}));
        // The setting went back out of the environment (the original tunables stay).
        QCOMPARE(value(u"tunables"_qs), tunablesBefore.isEmpty() ? u"-"_qs : tunablesBefore);
        QCOMPARE(value(u"marker"_qs), u"-"_qs);
        QCOMPARE(value(u"started"_qs), u"before"_qs);
        // Started again by its own path, the process keeps its name (as the system shows it).
        QCOMPARE(value(u"name"_qs), QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15));
        QCOMPARE(lines.filter(QRegularExpression(u"^arg "_qs)),
            QStringList({u"arg two words"_qs, u"arg \u00fcber"_qs}));
        // Whether the kernel then gives huge pages depends on its free memory: shown, not checked.
        qInfo("anonymous memory in huge pages after 64 MB: %s KB", qPrintable(value(u"huge"_qs)));
    }
};

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--probe") == 0)
        return probe(argc, argv);
    QCoreApplication app(argc, argv);
    TestHugePageHeap test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_HugePageHeap.moc"
