// Loads the library (through a plug-in that uses it), optionally with the sample module, uses
// them and unloads them, a hundred times: the library must really unload each time and the
// process must end cleanly. Without script classes memory must not grow at all. The class
// registry is deliberately never destroyed (its classes hold code of the modules that registered
// them), so with classes each round keeps exactly what the registry held, and no more.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// From the AddressSanitizer runtime (GCC ships no header that declares it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
constexpr bool kUnderAddressSanitizer = true;
#else
#include <malloc.h>
constexpr bool kUnderAddressSanitizer = false;
#endif

namespace {

/// Bytes currently allocated from the heap.
std::size_t AllocatedBytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

bool IsLoaded(const char* file) {
    void* handle = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

/// The symbol, or null when the handle or the symbol is missing.
template <class Function>
Function Symbol(void* handle, const char* name) {
    return handle != nullptr ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

/// One round: load, use, unload. Returns the number of classes the library listed.
long RunRound(bool withClasses) {
    void* driver = dlopen(VELMORAND_UNLOAD_DRIVER, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(driver, nullptr) << dlerror();
    if (driver == nullptr) {
        return -1;
    }
    void* module = nullptr;
#ifdef VELMORAND_SAMPLE_MODULE
    if (withClasses) {
        module = dlopen(VELMORAND_SAMPLE_MODULE, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(module, nullptr) << dlerror();
        auto registerModule = Symbol<void (*)()>(module, "VelmorandRegisterModule");
        if (registerModule != nullptr) {
            registerModule();
        }
    }
#endif
    auto exercise = Symbol<long (*)(int)>(driver, "VelmorandUnloadExercise");
    const long classes = exercise != nullptr ? exercise(withClasses ? 1 : 0) : -1;
    // The module goes last, so that it unloads together with the library that holds its
    // classes, as it does when a host ends.
    EXPECT_EQ(dlclose(driver), 0);
    if (module != nullptr) {
        EXPECT_EQ(dlclose(module), 0);
    }
    return classes;
}

/// Runs the rounds and returns the heap growth after the warm-up rounds, at the middle and at
/// the end of the loop; empty when a round failed.
std::vector<long> RunRounds(bool withClasses) {
    constexpr int kRounds = 100;
    constexpr int kWarmUpRounds = 5;
    std::size_t atWarmUp = 0;
    std::vector<long> growth;
    long firstClasses = 0;
    for (int round = 1; round <= kRounds; ++round) {
        const long classes = RunRound(withClasses);
        if (classes <= 0) {
            ADD_FAILURE() << "round " << round << ": the library did not work";
            return {};
        }
        if (round == 1) {
            firstClasses = classes;
        }
        // Each round sees a fresh library with the same classes registered anew.
        EXPECT_EQ(classes, firstClasses) << "round " << round;
        if (IsLoaded(VELMORAND_LIBRARY_FILE) || IsLoaded(VELMORAND_COMMON_LIBRARY_FILE)) {
            ADD_FAILURE() << "round " << round << ": the libraries were not unloaded";
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

// Below this, growth per round is the dynamic loader's own bookkeeping (valgrind sees all of it
// freed at exit); a leak of the library shows up as kilobytes per round.
constexpr long kLoaderNoisePerRound = 128;
constexpr long kMeasuredRounds = 95;

TEST(Unload, AHundredRoundsWithoutClassesLeaveNothingBehind) {
    const std::vector<long> growth = RunRounds(false);
    ASSERT_EQ(growth.size(), 2u);
    if (kUnderAddressSanitizer) {
        // The sanitizer's runtime keeps bookkeeping of its own for every load; its leak checker
        // judges this run at exit instead.
        return;
    }
    EXPECT_LT(growth[1], kLoaderNoisePerRound * kMeasuredRounds)
        << "heap grew by " << growth[1] << " bytes in " << kMeasuredRounds << " rounds";
}

TEST(Unload, AHundredRoundsWithTheSampleModuleKeepOnlyTheClassRegistry) {
#if defined(__SANITIZE_ADDRESS__)
    // What the class registries of the rounds keep is unreachable once their library is gone;
    // the leak checker must not count it. The run without classes covers the rest.
    __lsan_disable();
#endif
    const std::vector<long> growth = RunRounds(true);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    ASSERT_EQ(growth.size(), 2u);
    // The first and the second half of the loop keep the same amount, the class registries of
    // their rounds, up to the heap's fragmentation: nothing else accumulates.
    const long firstHalf = growth[0];
    const long secondHalf = growth[1] - growth[0];
    EXPECT_LT(std::labs(secondHalf - firstHalf),
              firstHalf / 20 + kLoaderNoisePerRound * kMeasuredRounds / 2)
        << "first half kept " << firstHalf << " bytes, second half " << secondHalf;
}

}  // namespace
