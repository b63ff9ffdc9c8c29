// The C library's heap settings as the header states them, read back from glibc's own counts:
// which blocks are mapped on their own, before and after large heap steps, and how much free top
// a heap keeps once the steps end.

#include "Platform/HeapGrowth.h"
#include "support/TestMain.h"

#include <QTest>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t mebibyte = std::size_t(1) << 20;

// A sanitizer's allocator replaces glibc's: neither its settings nor its counts apply.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool glibcHeap = false;
#else
constexpr bool glibcHeap = true;
#endif

struct Freed
{
    void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<void, Freed>;

Block allocate(std::size_t bytes)
{
    Block block(std::malloc(bytes));
    // Touched, so that the block is really there.
    static_cast<volatile char*>(block.get())[0] = 1;
    static_cast<volatile char*>(block.get())[bytes - 1] = 1;
    return block;
}

} // namespace

class TestHeapGrowth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!glibcHeap)
            QSKIP("the sanitizers' allocator takes no heap settings");
        // The settings hold from the first steps on.
        const LargeHeapSteps first;
    }

    void blocksMappedOnTheirOwn_data()
    {
        QTest::addColumn<std::size_t>("bytes");
        QTest::addColumn<bool>("duringSteps");
        QTest::addColumn<bool>("mapped");
        QTest::newRow("1 MiB after the steps") << mebibyte << false << false;
        QTest::newRow("1 MiB during the steps") << mebibyte << true << false;
        QTest::newRow("just under the threshold") << LargeHeapSteps::mmapThreshold - 4096 << false << false;
        QTest::newRow("the threshold") << LargeHeapSteps::mmapThreshold << false << true;
        QTest::newRow("the threshold during the steps") << LargeHeapSteps::mmapThreshold << true << true;
        QTest::newRow("64 MiB after the steps") << 64 * mebibyte << false << true;
        QTest::newRow("64 MiB during the steps") << 64 * mebibyte << true << true;
    }

    void blocksMappedOnTheirOwn()
    {
        QFETCH(std::size_t, bytes);
        QFETCH(bool, duringSteps);
        QFETCH(bool, mapped);
        std::optional<LargeHeapSteps> steps;
        if (duringSteps)
            steps.emplace();
        // Made and freed once first: glibc's adaptive threshold would take the next one of this
        // size from the heap whatever the setting.
        allocate(bytes).reset();
        // glibc maps a large block only when the heap's free top cannot hold it: the top is given
        // back first (down to the current step).
        ::malloc_trim(0);
        const std::size_t before = ::mallinfo2().hblks;
        const Block block = allocate(bytes);
        QCOMPARE(::mallinfo2().hblks - before, std::size_t(mapped ? 1 : 0));
    }

    // Once the steps end, a heap keeps at most the trim threshold free at its top.
    void freeTopGoesBackAfterTheSteps()
    {
        {
            const LargeHeapSteps steps;
            allocate(mebibyte).reset(); // the heap has grown by a large step
        }
        std::vector<Block> blocks;
        for (int i = 0; i < 32; ++i)
            blocks.push_back(allocate(mebibyte));
        blocks.clear();
        QVERIFY2(::mallinfo2().keepcost <= LargeHeapSteps::trimThreshold,
            qPrintable(QString::number(::mallinfo2().keepcost)));
    }
};

TESSELLON_TEST_MAIN(TestHeapGrowth)
#include "tst_HeapGrowth.moc"
