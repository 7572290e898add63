// Random and truncated training files: the loader must never crash, never keep a partial table,
// and never allocate more than the file's bytes can fill.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>
#include <random>

#include "classifier/lvq_cluster.hpp"
#include "training_bytes.hpp"

// Counts the bytes requested from operator new while counting is on. The replacement covers the
// whole test program; it only adds when asked to. GCC pairs the inlined free with the test
// framework's new expressions and warns about a mismatch that is not there.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_requested{0};
}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) {
        g_requested.fetch_add(size, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

using namespace karvona::classifier;
using namespace karvona::classifier::testing;

namespace {

struct Outcome {
    TrainingFileStatus status;
    std::size_t requested;
};

Outcome CountedLoad(CLvqCluster& c, const std::string& path) {
    g_requested = 0;
    g_counting = true;
    const TrainingFileStatus status = c.LoadTrainingFile(path);
    g_counting = false;
    return {status, g_requested.load()};
}

// Per record of 8n + 4 bytes the loader keeps at most one table entry and n doubles, and it
// holds one record buffer; some fixed room is left for the path and the like.
std::size_t Allowance(std::size_t fileBytes) {
    return 5 * fileBytes + 1024;
}

}  // namespace

TEST(LoaderFuzz, HugeDeclaredCountsAllocateNothingForRecords) {
    ScratchDir dir;
    Header h = StandardHeader();
    h[14] = INT_MAX / 2;
    h[15] = 2;
    WriteFile(dir.File("huge.trn"), TrainingBytes(h, NumberedPrototypes(2, 345, 1)));
    CLvqCluster c;
    const Outcome o = CountedLoad(c, dir.File("huge.trn"));
    EXPECT_EQ(o.status, TrainingFileStatus::Invalid);
    EXPECT_LE(o.requested, 1024u);
    EXPECT_TRUE(c.prototypes.empty());
}

TEST(LoaderFuzz, RandomAndTruncatedHeadersNeverCrashOrOverAllocate) {
    ScratchDir dir;
    const std::string path = dir.File("fuzz.trn");
    std::mt19937 rng(20240611);
    const std::int32_t edges[] = {
        INT_MIN, INT_MIN + 1, -1000,         -2,          -1,     0, 1, 2, 3, 10, 40, 345, 1024,
        1025,    1 << 20,     (1 << 20) + 1, INT_MAX - 1, INT_MAX};
    auto word = [&](int index) -> std::int32_t {
        switch (rng() % 4) {
            case 0:
                return static_cast<std::int32_t>(rng());
            case 1:
                return edges[rng() % std::size(edges)];
            case 2:
                return static_cast<std::int32_t>(rng() % 50);
            default:
                return StandardHeader()[index];
        }
    };

    int loaded = 0;
    for (int round = 0; round < 1500; ++round) {
        Header h;
        for (int i = 0; i < 16; ++i) {
            h[i] = word(i);
        }
        if (round % 3 == 0) {  // a small valid recipe, so that records get read too
            h = {9,
                 2,
                 2,
                 1,
                 1,
                 1,
                 1,
                 1,
                 0,
                 0,
                 0,
                 0,
                 0,
                 1,
                 static_cast<std::int32_t>(rng() % 5),
                 static_cast<std::int32_t>(rng() % 4)};
        }
        std::string bytes = TrainingBytes(h);
        const std::size_t body = rng() % 600;
        for (std::size_t i = 0; i < body; ++i) {
            bytes.push_back(static_cast<char>(rng()));
        }
        if (rng() % 2 == 0) {
            bytes.resize(rng() % (bytes.size() + 1));
        }
        WriteFile(path, bytes);

        CLvqCluster c;
        const Outcome o = CountedLoad(c, path);
        EXPECT_LE(o.requested, Allowance(bytes.size())) << "round " << round;
        if (o.status == TrainingFileStatus::Ok) {
            ++loaded;
            const std::size_t record = 8 * static_cast<std::size_t>(c.featureLength) + 4;
            EXPECT_LE(64 + c.prototypes.size() * record, bytes.size());
            EXPECT_GE(c.featureLength, c.EnabledFeatureLength());
            // The counter sees the table itself, so the bound above is a real one.
            EXPECT_GE(o.requested, c.prototypes.size() * c.featureLength * sizeof(double));
            for (const LvqPrototype& p : c.prototypes) {
                ASSERT_EQ(p.vector.size(), static_cast<std::size_t>(c.featureLength));
            }
        } else {
            EXPECT_TRUE(c.prototypes.empty()) << "round " << round;
            EXPECT_EQ(c.featureLength, 0);
        }
    }
    EXPECT_GT(loaded, 0);  // the valid recipes did get through
}
