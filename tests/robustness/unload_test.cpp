// Loads, uses and unloads the library (through a plug-in), optionally with the sample module, a
// hundred times: it must really unload each time, and memory must not grow beyond what the never
// destroyed class registry of each round holds.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

// AllocatedBytes(): the bytes currently allocated from the heap.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// From the AddressSanitizer runtime (GCC ships no header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
constexpr bool kUnderAddressSanitizer = true;
static std::size_t AllocatedBytes() {
    return __sanitizer_get_current_allocated_bytes();
}
#else
#include <malloc.h>
constexpr bool kUnderAddressSanitizer = false;
static std::size_t AllocatedBytes() {
    return mallinfo2().uordblks;
}
#endif

namespace {

bool IsLoaded(const char* file) {
    void* handle = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    return handle != nullptr && dlclose(handle) == 0;
}

/// The function `name` of the plug-in `file`, which stays loaded.
template <class Function>
Function Load(const char* file, const char* name, void*& handle) {
    handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    return handle != nullptr ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

/// One round: load, use, unload. Returns the number of classes the library listed.
long RunRound(bool withClasses) {
    void *driver = nullptr, *module = nullptr;
    const auto exercise =
        Load<long (*)(int)>(VELMORAND_UNLOAD_DRIVER, "VelmorandUnloadExercise", driver);
#ifdef VELMORAND_SAMPLE_MODULE
    const auto registerModule =
        withClasses ? Load<void (*)()>(VELMORAND_SAMPLE_MODULE, "VelmorandRegisterModule", module)
                    : nullptr;
    if (registerModule != nullptr) {
        registerModule();
    }
#endif
    const long classes = exercise != nullptr ? exercise(withClasses ? 1 : 0) : -1;
    // The module goes last, with the library that holds its classes, as when a host ends.
    EXPECT_TRUE(driver == nullptr || dlclose(driver) == 0);
    if (module != nullptr) {
        EXPECT_EQ(dlclose(module), 0);
    }
    return classes;
}

/// The heap growth since the warm-up rounds at the middle and at the end; empty on a failure.
std::vector<long> RunRounds(bool withClasses) {
    constexpr int kRounds = 100;
    constexpr int kWarmUpRounds = 5;
    std::size_t atWarmUp = 0;
    std::vector<long> growth;
    long firstClasses = 0;
    for (int round = 1; round <= kRounds; ++round) {
        const long classes = RunRound(withClasses);
        firstClasses = round == 1 ? classes : firstClasses;
        const bool unloaded =
            !IsLoaded(VELMORAND_LIBRARY_FILE) && !IsLoaded(VELMORAND_COMMON_LIBRARY_FILE);
        if (classes <= 0 || classes != firstClasses || !unloaded) {
            ADD_FAILURE() << "round " << round << ": " << classes << " classes listed (first round "
                          << firstClasses << "), libraries unloaded: " << unloaded;
            return {};
        }
        if (round == kWarmUpRounds) {
            atWarmUp = AllocatedBytes();
        }
        if (round == (kRounds + kWarmUpRounds) / 2 || round == kRounds) {
            growth.push_back(static_cast<long>(AllocatedBytes()) - static_cast<long>(atWarmUp));
        }
    }
    return growth;
}

// Below this, growth per round is the dynamic loader's own bookkeeping; a leak is kilobytes.
constexpr long kLoaderNoisePerRound = 128;
constexpr long kMeasuredRounds = 95;

TEST(Unload, AHundredRoundsWithoutClassesLeaveNothingBehind) {
    const std::vector<long> growth = RunRounds(false);
    ASSERT_EQ(growth.size(), 2u);
    if (kUnderAddressSanitizer) {
        return;  // the sanitizer's runtime keeps bookkeeping per load; its leak checker judges
    }
    EXPECT_LT(growth[1], kLoaderNoisePerRound * kMeasuredRounds)
        << "heap grew by " << growth[1] << " bytes in " << kMeasuredRounds << " rounds";
}

TEST(Unload, AHundredRoundsWithTheSampleModuleKeepOnlyTheClassRegistry) {
#if defined(__SANITIZE_ADDRESS__)
    // The class registries of the rounds are unreachable once their library is gone.
    __lsan_disable();
#endif
    const std::vector<long> growth = RunRounds(true);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    ASSERT_EQ(growth.size(), 2u);
    // Both halves of the loop keep the same amount (their class registries), up to fragmentation.
    const long firstHalf = growth[0];
    const long secondHalf = growth[1] - growth[0];
    EXPECT_LT(std::labs(secondHalf - firstHalf),
              firstHalf / 20 + kLoaderNoisePerRound * kMeasuredRounds / 2)
        << "first half kept " << firstHalf << " bytes, second half " << secondHalf;
}

}  // namespace
