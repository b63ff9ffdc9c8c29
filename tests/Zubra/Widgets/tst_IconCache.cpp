// Application icons: the lookup order, one lookup per key, the fallback kept like any answer.

#include "../ReviewImage.h"
#include "Platform/Memory/MemoryIconProvider.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "Zubra/Widgets/IconCache.h"
#include "support/TestMain.h"

#include <QPixmap>
#include <QSemaphore>
#include <QSignalSpy>
#include <thread>

namespace {
// Answers only when the test lets it, from whatever thread asks: a lookup that takes long.
class GatedProvider final : public IconProvider
{
public:
    std::optional<QIcon> installedApplicationIcon(const QString& id) override
    {
        entered.release();
        gate.acquire();
        asked.release();
        return icons.value(id).isNull() ? std::nullopt : std::optional<QIcon>(icons.value(id));
    }
    std::optional<QIcon> runningApplicationIcon(const QString&) override { return std::nullopt; }
    std::optional<QIcon> runningApplicationIconNamed(const QString&) override { return std::nullopt; }

    QSemaphore entered;
    QSemaphore gate;
    QSemaphore asked;
    QHash<QString, QIcon> icons;
};

QIcon solid(QColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QColor colorOf(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}
} // namespace

class TestIconCache : public QObject
{
    Q_OBJECT

private slots:
    void backgroundLookupsNeverHoldUpTheCaller_data()
    {
        QTest::addColumn<bool>("found");
        QTest::newRow("icon found") << true;
        QTest::newRow("only the fallback") << false;
    }
    void backgroundLookupsNeverHoldUpTheCaller()
    {
        QFETCH(bool, found);
        auto provider = std::make_shared<GatedProvider>();
        if (found)
            provider->icons.insert(QStringLiteral("org.example.Slow"), solid(Qt::red));
        {
            IconCache cache(provider);
            cache.lookUpInBackground();
            QSignalSpy ready(&cache, &IconCache::iconReady);
            const std::optional<QString> id = QStringLiteral("org.example.Slow");
            // The lookup is stuck; the caller still gets the placeholder at once, every time.
            QCOMPARE(colorOf(cache.icon(id, QStringLiteral("Slow"))), colorOf(IconCache::fallbackIcon()));
            QCOMPARE(colorOf(cache.icon(id, QStringLiteral("Slow"))), colorOf(IconCache::fallbackIcon()));
            QCOMPARE(ready.count(), 0);
            provider->gate.release(10);
            QTRY_COMPARE(ready.count(), 1);
            QCOMPARE(ready.first().first().toString(), QStringLiteral("org.example.Slow"));
            QCOMPARE(provider->asked.available(), 1); // one lookup for both asks
            QCOMPARE(colorOf(cache.icon(id, QStringLiteral("Slow"))),
                found ? QColor(Qt::red) : colorOf(IconCache::fallbackIcon()));
            QCOMPARE(provider->asked.available(), 1);
        }
        // A cache destroyed while its worker is stuck lets the worker finish first.
        auto stuck = std::make_shared<GatedProvider>();
        std::thread releaser;
        {
            IconCache cache(stuck);
            cache.lookUpInBackground();
            cache.icon(QStringLiteral("org.example.Stuck"), QStringLiteral("Stuck"));
            stuck->entered.acquire(); // the worker is inside the lookup
            releaser = std::thread([stuck] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                stuck->gate.release();
            });
        }
        releaser.join();
        QCOMPARE(stuck->asked.available(), 1);
    }

    void lookupOrder_data()
    {
        QTest::addColumn<QStringList>("present"); // which answers the provider has
        QTest::addColumn<bool>("withBundleID");
        QTest::addColumn<QString>("answer"); // the colour of the icon returned; empty: the fallback
        QTest::addColumn<QStringList>("questions");
        const QStringList all {"installed", "running", "named"};
        QTest::newRow("installed first") << all << true << "installed" << QStringList {"installed:org.example.Notes"};
        QTest::newRow("then running by id") << QStringList {"running", "named"} << true << "running"
                                            << QStringList {"installed:org.example.Notes", "running:org.example.Notes"};
        QTest::newRow("then by name") << QStringList {"named"} << true << "named"
                                      << QStringList {
                                             "installed:org.example.Notes", "running:org.example.Notes", "named:Notes"};
        QTest::newRow("then the fallback")
            << QStringList() << true << ""
            << QStringList {"installed:org.example.Notes", "running:org.example.Notes", "named:Notes"};
        QTest::newRow("without id, only the name") << all << false << "named" << QStringList {"named:Notes"};
        QTest::newRow("without id, no match")
            << QStringList {"installed", "running"} << false << "" << QStringList {"named:Notes"};
    }
    void lookupOrder()
    {
        QFETCH(QStringList, present);
        QFETCH(bool, withBundleID);
        QFETCH(QString, answer);
        QFETCH(QStringList, questions);
        const QHash<QString, QColor> colors {{"installed", Qt::red}, {"running", Qt::green}, {"named", Qt::blue}};
        auto provider = std::make_shared<MemoryIconProvider>();
        if (present.contains("installed"))
            provider->installed.insert(QStringLiteral("org.example.Notes"), solid(colors["installed"]));
        if (present.contains("running"))
            provider->running.insert(QStringLiteral("org.example.Notes"), solid(colors["running"]));
        if (present.contains("named"))
            provider->named.insert(QStringLiteral("Notes"), solid(colors["named"]));

        IconCache cache(provider);
        const std::optional<QString> id
            = withBundleID ? std::optional<QString>(QStringLiteral("org.example.Notes")) : std::nullopt;
        const QIcon icon = cache.icon(id, QStringLiteral("Notes"));
        QVERIFY(!icon.isNull());
        if (answer.isEmpty())
            QCOMPARE(icon.cacheKey(), cache.icon(id, QStringLiteral("Notes")).cacheKey());
        else
            QCOMPARE(colorOf(icon), colors[answer]);
        QCOMPARE(provider->questions(), questions);

        // Asked again, the cache answers alone, the fallback included.
        QCOMPARE(colorOf(cache.icon(id, QStringLiteral("Notes"))), colorOf(icon));
        QCOMPARE(provider->questions(), questions);
    }

    void theFallbackStaysForItsKeyEvenWhenTheApplicationAppears()
    {
        auto provider = std::make_shared<MemoryIconProvider>();
        IconCache cache(provider);
        const std::optional<QString> id = QStringLiteral("org.example.Later");
        const QIcon before = cache.icon(id, QStringLiteral("Later"));
        provider->installed.insert(*id, solid(Qt::red));
        QCOMPARE(cache.icon(id, QStringLiteral("Later")).cacheKey(), before.cacheKey());
        QCOMPARE(provider->questions().size(), 3);
        QVERIFY(!IconCache::fallbackIcon().pixmap(16, 16).isNull());
        ReviewImage::saveForReview(IconCache::fallbackIcon().pixmap(64, 64).toImage(), QStringLiteral("icon-fallback"));
    }

    void withAndWithoutIdAreDifferentKeys()
    {
        auto provider = std::make_shared<MemoryIconProvider>();
        provider->installed.insert(QStringLiteral("org.example.Notes"), solid(Qt::red));
        provider->named.insert(QStringLiteral("Notes"), solid(Qt::blue));
        IconCache cache(provider);
        QCOMPARE(colorOf(cache.icon(QStringLiteral("org.example.Notes"), QStringLiteral("Notes"))), QColor(Qt::red));
        QCOMPARE(colorOf(cache.icon(std::nullopt, QStringLiteral("Notes"))), QColor(Qt::blue));
        // Two captures from one application share the first lookup.
        cache.icon(QStringLiteral("org.example.Notes"), QStringLiteral("Renamed"));
        QCOMPARE(provider->questions().size(), 2);
    }

    void overTheWorkspace()
    {
        // The workspace's provider: running applications by id and by name, through their process.
        const auto shared = std::make_shared<MemoryWorkspace>();
        MemoryWorkspace& workspace = *shared;
        workspace.running = {{11, QStringLiteral("Editor"), QStringLiteral("org.example.Editor")},
            {12, QStringLiteral("Viewer"), std::nullopt}};
        workspace.runningIcons.insert(11, solid(Qt::green));
        workspace.runningIcons.insert(12, solid(Qt::blue));
        workspace.installedIcons.insert(QStringLiteral("org.example.Installed"), solid(Qt::red));
        IconCache cache(std::make_shared<WorkspaceIconProvider>(shared));
        QCOMPARE(colorOf(cache.icon(QStringLiteral("org.example.Installed"), QStringLiteral("x"))), QColor(Qt::red));
        QCOMPARE(colorOf(cache.icon(QStringLiteral("org.example.Editor"), QStringLiteral("x"))), QColor(Qt::green));
        QCOMPARE(colorOf(cache.icon(std::nullopt, QStringLiteral("Viewer"))), QColor(Qt::blue));
        QCOMPARE(colorOf(cache.icon(QStringLiteral("org.example.Gone"), QStringLiteral("Viewer"))), QColor(Qt::blue));
    }

    void sharedCacheKnowsNoIconsUntilAProviderIsInstalled()
    {
        const QIcon before = IconCache::shared().icon(QStringLiteral("org.example.Shared"), QStringLiteral("S"));
        QCOMPARE(before.cacheKey(),
            IconCache::shared().icon(QStringLiteral("org.example.Shared"), QStringLiteral("S")).cacheKey());
        auto provider = std::make_shared<MemoryIconProvider>();
        provider->installed.insert(QStringLiteral("org.example.Shared"), solid(Qt::red));
        IconCache::installSharedProvider(provider);
        QCOMPARE(colorOf(IconCache::shared().icon(QStringLiteral("org.example.Shared"), QStringLiteral("S"))),
            QColor(Qt::red));
    }

    void safeFromManyThreads()
    {
        auto provider = std::make_shared<MemoryIconProvider>();
        provider->named.insert(QStringLiteral("App 3"), solid(Qt::blue));
        IconCache cache(provider);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&cache] {
                for (int i = 0; i < 200; ++i)
                    cache.icon(std::nullopt, QStringLiteral("App ") + QString::number(i % 10));
            });
        for (auto& thread : threads)
            thread.join();
        // Each key was searched at most once per thread that raced for it.
        QVERIFY(provider->questions().size() >= 10);
        QVERIFY(provider->questions().size() <= 40);
        QCOMPARE(colorOf(cache.icon(std::nullopt, QStringLiteral("App 3"))), QColor(Qt::blue));
    }
};

TESSELLON_GUI_TEST_MAIN(TestIconCache)
#include "tst_IconCache.moc"
