#include "ZubraCore/Support/ParallelChunks.h"
#include "support/TestMain.h"

#include <QTest>
#include <atomic>
#include <new>
#include <vector>

// A chunk that throws, on the calling thread (chunk 0) or on a worker, ends the call with that
// throw once every other chunk has ended: no thread is left joinable or running.
class TestParallelChunks : public QObject
{
    Q_OBJECT

private slots:
    void throwReachesTheCaller_data()
    {
        QTest::addColumn<int>("chunks");
        QTest::addColumn<QList<int>>("throwing");
        QTest::newRow("calling thread") << 4 << QList<int> {0};
        QTest::newRow("a worker") << 4 << QList<int> {2};
        QTest::newRow("the last worker") << 8 << QList<int> {7};
        QTest::newRow("calling thread and a worker") << 4 << QList<int> {0, 3};
        QTest::newRow("every chunk") << 3 << QList<int> {0, 1, 2};
        QTest::newRow("one chunk") << 1 << QList<int> {0};
    }

    void throwReachesTheCaller()
    {
        QFETCH(int, chunks);
        QFETCH(QList<int>, throwing);
        constexpr qsizetype count = 1000;
        std::vector<std::atomic<int>> done(static_cast<size_t>(count));
        const auto run = [&] {
            ParallelChunks::run(count, chunks, [&](int chunk, qsizetype begin, qsizetype end) {
                if (throwing.contains(chunk))
                    throw std::bad_alloc();
                for (qsizetype i = begin; i < end; ++i)
                    ++done[size_t(i)];
            });
        };
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, run());
        // Every chunk that did not throw has finished its items, once.
        for (int chunk = 0; chunk < chunks; ++chunk) {
            const int expected = throwing.contains(chunk) ? 0 : 1;
            for (qsizetype i = count * chunk / chunks; i < count * (chunk + 1) / chunks; ++i)
                QCOMPARE(done[size_t(i)].load(), expected);
        }
    }

    void togetherPassesEitherThrow_data()
    {
        QTest::addColumn<bool>("otherThrows");
        QTest::addColumn<bool>("hereThrows");
        QTest::newRow("other thread") << true << false;
        QTest::newRow("calling thread") << false << true;
        QTest::newRow("both") << true << true;
    }

    void togetherPassesEitherThrow()
    {
        QFETCH(bool, otherThrows);
        QFETCH(bool, hereThrows);
        std::atomic<int> finished = 0;
        const auto part = [&finished](bool throws) {
            return [&finished, throws] {
                if (throws)
                    throw std::bad_alloc();
                ++finished;
            };
        };
        QVERIFY_THROWS_EXCEPTION(std::bad_alloc, ParallelChunks::together(part(otherThrows), part(hereThrows)));
        QCOMPARE(finished.load(), int(!otherThrows) + int(!hereThrows));
    }
};

TESSELLON_TEST_MAIN(TestParallelChunks)
#include "tst_ParallelChunks.moc"
