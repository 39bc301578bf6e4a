// libspuZarn.so exports the plugin interface by its plain names, and nothing
// of the implementation.
#include <gtest/gtest.h>

#include "plugin/Version.h"
#include "support/ExportNames.h"

#include <dlfcn.h>

namespace {

TEST(ExportTest, EveryEntryPointAndNothingElse) {
    void* library = dlopen(SPUZARN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : zarn::test::kExportNames) EXPECT_NE(dlsym(library, name), nullptr) << name;
    for (const char* name : zarn::test::kLinuxExportNames) EXPECT_NE(dlsym(library, name), nullptr) << name;
    EXPECT_EQ(dlsym(library, "_ZN4zarn6plugin4InitEv"), nullptr);
    EXPECT_EQ(dlsym(library, "_ZN4zarn13StandardModel8MixFrameEPs"), nullptr);

    using GetName = const char* (*)();
    using Call = int32_t (*)();
    using Version = uint32_t (*)();
    EXPECT_STREQ(reinterpret_cast<GetName>(dlsym(library, "PSEgetLibName"))(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(reinterpret_cast<Version>(dlsym(library, "PSEgetLibVersion"))(), zarn::kLibVersion);
    EXPECT_EQ(reinterpret_cast<Call>(dlsym(library, "SPUtest"))(), 0);
    dlclose(library);
}

}  // namespace
