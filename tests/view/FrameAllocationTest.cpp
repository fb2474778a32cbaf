// Counts heap allocations made by this test binary while a frame is built.
#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "ViewHarness.h"
#include "view/ViewWorkload.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace tarvik {
namespace {

long allocationsDuring(const std::function<void()>& work) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations.load();
}

TEST(FrameAllocationTest, AFullFrameAllocatesNothingAfterWarmUp) {
    viewtest::ViewFixture f(200, 60);
    f.feed(viewWorkloadScreen(200, 60));
    f.view->selection().selectAll();
    f.view->buildFrame(0, 59); // warm-up: the rows take their storage
    EXPECT_EQ(allocationsDuring([&] { f.view->buildFrame(0, 59); }), 0);
    // The same amount of text drawn again in new colours still fits the storage.
    f.feed(viewWorkloadScreen(200, 60, 3));
    EXPECT_EQ(allocationsDuring([&] { f.view->buildFrame(0, 59); }), 0);
    EXPECT_GT(allocationsDuring([] { delete new int(1); }), 0) << "the counter works";
}

} // namespace
} // namespace tarvik
