// png_io when memory runs out: each allocation of our own (the picture's
// vectors, the rows, the growing file) is made to fail in turn, and every
// call must then fail cleanly, with "not enough memory" or std::bad_alloc,
// and leave nothing behind: no exception left unfinished, and libpng's
// state freed, as the leak checker of the sanitizer build sees it.
#include "tools/png_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The allocations still to succeed before one fails; -1: none fails.
long allocationsLeft = -1;

void* Allocate(std::size_t size) {
    if (allocationsLeft >= 0 && allocationsLeft-- == 0) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
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

namespace {

IndexedPicture Picture() {
    IndexedPicture p;
    p.width = 40;
    p.height = 30;
    for (std::uint32_t i = 0; i < p.width * p.height; ++i) p.pixels.push_back(std::uint8_t(i % 7));
    for (int i = 0; i < 7 * 3; ++i) p.palette.push_back(std::uint8_t(i * 11));
    p.alpha.assign(7, 255);
    p.alpha[3] = 0;
    return p;
}

bool NoLeaks() {
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() == 0;
#else
    return true;
#endif
}

// Runs `call` with the k-th allocation failing, for k = 0, 1, ... until the
// call needs no more than k; each failure must be clean. Returns how many
// allocations the call makes.
template <typename Call> long FailEachAllocation(const char* what, Call call) {
    for (long k = 0;; ++k) {
        SCOPED_TRACE(testing::Message() << what << ", allocation " << k << " fails");
        std::string error;
        bool result = false, threw = false;
        allocationsLeft = k;
        try {
            result = call(&error);
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        const bool allGranted = allocationsLeft >= 0;
        allocationsLeft = -1;
        EXPECT_TRUE(NoLeaks());
        // Outside every handler, so no exception is being handled: one left
        // in hand was never finished.
        EXPECT_FALSE(std::current_exception()) << "an exception left unfinished";
        if (allGranted) {
            EXPECT_TRUE(result) << error;
            return k;
        }
        EXPECT_FALSE(result);
        if (!threw) {
            EXPECT_EQ(error, "not enough memory");
        }
    }
}

TEST(PngIo, EveryFailedAllocationOfAReadLeavesNothing) {
    std::vector<std::uint8_t> file;
    std::string error;
    const IndexedPicture source = Picture();
    ASSERT_TRUE(WriteIndexedPng(source, 4, &file, &error)) << error;
    const long made = FailEachAllocation("reading", [&](std::string* e) {
        IndexedPicture picture;
        return ReadIndexedPng(file.data(), file.size(), {255, 255, "a sprite"}, &picture, e) &&
               picture.pixels == source.pixels;
    });
    EXPECT_GE(made, 4) << "the palette, the alpha, the pixels and the rows";
}

TEST(PngIo, EveryFailedAllocationOfAWriteLeavesNothing) {
    const IndexedPicture picture = Picture();
    const long made = FailEachAllocation("writing", [&](std::string* e) {
        std::vector<std::uint8_t> file;
        return WriteIndexedPng(picture, 8, &file, e) && !file.empty();
    });
    EXPECT_GE(made, 2) << "the rows and the file";
}

} // namespace
