// Loads the library by hand: this program is not linked to it, so dlclose really unloads it.

#include <Common/StringTable.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

constexpr unsigned int StringTypeNameId = 0xED0012;

}  // namespace

TEST(LibraryUnloadTest, MessageTableLivesWhileLoaded) {
    const Common::StringLoader& loader = Common::StringLoader::Instance();
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(loader.HasString(StringTypeNameId));
        void* library = dlopen(VELMORAND_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        EXPECT_EQ(loader.GetString(StringTypeNameId), L"String");
        ASSERT_EQ(dlclose(library), 0);
        EXPECT_EQ(dlopen(VELMORAND_LIBRARY_FILE, RTLD_NOW | RTLD_NOLOAD), nullptr);
        EXPECT_FALSE(loader.HasString(StringTypeNameId));
    }
}
