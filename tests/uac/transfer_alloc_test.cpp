// Allocation behaviour of the stream layer, seen through a counting
// allocator that replaces malloc and operator new in this test program:
// transfers allocate nothing and pass the caller's buffer straight on, and
// XU_UAC_Init copes with each of its two allocations failing.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "fake_tinyalsa.h"
#include "uac_test_support.h"
#include "xu_uac.h"

namespace {

using MallocFn = void *(*)(std::size_t);
using CallocFn = void *(*)(std::size_t, std::size_t);
using ReallocFn = void *(*)(void *, std::size_t);
using FreeFn = void (*)(void *);

// Serves the allocations dlsym itself makes while the real functions are
// being looked up; never freed.
alignas(std::max_align_t) char g_arena[16384];
std::size_t g_arena_used = 0;

MallocFn g_malloc = nullptr;
CallocFn g_calloc = nullptr;
ReallocFn g_realloc = nullptr;
FreeFn g_free = nullptr;
bool g_resolving = false;

struct Counters {
    bool armed = false;
    long allocations = 0;
    long frees = 0;
    long fail_at = 0; // the n-th armed allocation fails; 0: none
};
Counters g_count;

bool in_arena(const void *p)
{
    return p >= static_cast<const void *>(g_arena) && p < static_cast<const void *>(g_arena + sizeof(g_arena));
}

void *arena_allocate(std::size_t size)
{
    const std::size_t rounded = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    if (g_arena_used + rounded > sizeof(g_arena)) {
        std::abort();
    }
    void *p = g_arena + g_arena_used;
    g_arena_used += rounded;
    return p;
}

// False when the real functions are not known yet (we are inside dlsym).
bool resolve()
{
    if (g_free != nullptr) {
        return true;
    }
    if (g_resolving) {
        return false;
    }
    g_resolving = true;
    g_malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    g_calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    g_realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    g_free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    g_resolving = false;
    return true;
}

// Counts an allocation while armed; false when this one is to fail.
bool admit_allocation()
{
    if (!g_count.armed) {
        return true;
    }
    g_count.allocations++;
    return g_count.allocations != g_count.fail_at;
}

} // namespace

extern "C" void *malloc(std::size_t size)
{
    if (!resolve()) {
        return arena_allocate(size);
    }
    return admit_allocation() ? g_malloc(size) : nullptr;
}

extern "C" void *calloc(std::size_t count, std::size_t size)
{
    if (!resolve()) {
        return arena_allocate(count * size); // static storage: already zero
    }
    return admit_allocation() ? g_calloc(count, size) : nullptr;
}

extern "C" void *realloc(void *p, std::size_t size)
{
    if (!resolve() || in_arena(p)) {
        void *moved = resolve() ? g_malloc(size) : arena_allocate(size);
        if (moved != nullptr && p != nullptr) {
            const std::size_t room = static_cast<std::size_t>(g_arena + sizeof(g_arena) - static_cast<char *>(p));
            std::memcpy(moved, p, size < room ? size : room);
        }
        return moved;
    }
    return admit_allocation() ? g_realloc(p, size) : nullptr;
}

extern "C" void free(void *p)
{
    if (p == nullptr || in_arena(p)) {
        return;
    }
    if (g_count.armed) {
        g_count.frees++;
    }
    resolve();
    g_free(p);
}

void *operator new(std::size_t size)
{
    void *p = malloc(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

void operator delete(void *p) noexcept
{
    free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    free(p);
}

namespace {

// Counts allocations and frees for as long as it lives.
class Counting {
public:
    explicit Counting(long fail_at = 0) { g_count = Counters{true, 0, 0, fail_at}; }
    ~Counting() { g_count.armed = false; }
    long allocations() const { return g_count.allocations; }
    long frees() const { return g_count.frees; }
};

class TransferAllocationTest : public ::testing::Test {
protected:
    void SetUp() override { fake_tinyalsa::reset(); }
    void TearDown() override { fake_tinyalsa::reset(); }
};

UAC_HANDLE_S *open_stream(uint32_t flags)
{
    UAC_CONFIG_S record{};
    record.card = 1;
    XU_UAC_Config_m(&record, flags, 2, 48000, 1024, 4, PCM_FORMAT_S16_LE);
    UAC_HANDLE_S *handle = nullptr;
    EXPECT_EQ(XU_UAC_Init(&handle, &record), 0);
    return handle;
}

} // namespace

TEST_F(TransferAllocationTest, TransfersAllocateNothingAndHandTheCallersBufferOn)
{
    UAC_HANDLE_S *playback = open_stream(PCM_OUT | PCM_MMAP);
    UAC_HANDLE_S *capture = open_stream(PCM_IN | PCM_MMAP);
    static char buffer[4096];
    UAC_FRAME_S frame{0, buffer, sizeof(buffer)};
    int failures = 0;
    {
        Counting counting;
        for (int i = 0; i < 16; i++) {
            frame.len = sizeof(buffer);
            failures += XU_UAC_SendFrame(playback, &frame) != 0;
            failures += XU_UAC_GetFrame(capture, &frame) != 0;
            failures += XU_UAC_MmapSendFrame(playback, &frame) != 0;
            failures += XU_UAC_MmapGetFrame(capture, &frame) != 0;
            failures += XU_UAC_GetPcm_BufSize(capture) != 4096u;
        }
        EXPECT_EQ(counting.allocations(), 0);
        EXPECT_EQ(counting.frees(), 0);
    }
    EXPECT_EQ(failures, 0);
    ASSERT_EQ(fake_tinyalsa::state().transfer_count, 64u);
    for (const fake_tinyalsa::Transfer &t : fake_tinyalsa::state().transfers) {
        EXPECT_EQ(t.data, buffer); // no intermediate copy
    }
    EXPECT_EQ(XU_UAC_Uninit(playback), 0);
    EXPECT_EQ(XU_UAC_Uninit(capture), 0);
}

TEST_F(TransferAllocationTest, EitherAllocationFailingReportsNoMemAndOpensNothing)
{
    for (long fail_at : {1L, 2L}) {
        fake_tinyalsa::reset();
        UAC_CONFIG_S record{};
        XU_UAC_Config_m(&record, PCM_OUT, 2, 48000, 1024, 4, 0);
        auto *const sentinel = reinterpret_cast<UAC_HANDLE_S *>(0x4321);
        UAC_HANDLE_S *handle = sentinel;
        CaptureFd err(2);
        CaptureFd out(1);
        int status = 0;
        long frees = 0;
        long allocations = 0;
        {
            Counting counting(fail_at);
            status = XU_UAC_Init(&handle, &record);
            frees = counting.frees();
            allocations = counting.allocations();
        }
        EXPECT_EQ(status, -1);
        EXPECT_EQ(err.finish(), "XU_UAC_Init Failed: No mem\n") << "allocation " << fail_at;
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(handle, sentinel);
        EXPECT_TRUE(fake_tinyalsa::state().streams.empty());
        EXPECT_EQ(allocations, fail_at);
        EXPECT_EQ(frees, fail_at - 1); // the handle is freed when its copy cannot be had
    }
}
