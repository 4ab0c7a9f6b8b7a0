// Loads the library by hand: this program is not linked to it, so dlclose really unloads it.

#include <Common/StringTable.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

TEST(LibraryUnloadTest, MessageTableLivesWhileLoaded) {
    const Common::StringLoader& loader = Common::StringLoader::Instance();
    constexpr unsigned int kStringTypeNameId = 0xED0012;
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(loader.HasString(kStringTypeNameId));
        void* library = dlopen(VELMORAND_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        EXPECT_EQ(loader.GetString(kStringTypeNameId), L"String");
        ASSERT_EQ(dlclose(library), 0);
        EXPECT_EQ(dlopen(VELMORAND_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD), nullptr);
        EXPECT_FALSE(loader.HasString(kStringTypeNameId));
    }
}
