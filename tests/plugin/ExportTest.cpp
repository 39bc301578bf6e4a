// libspuZarn.so's dynamic symbol table defines the functions of the export
// list and nothing else, and a host finds each by its plain name.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "plugin/Version.h"
#include "support/ExportNames.h"

#include <dlfcn.h>

namespace {

TEST(ExportTest, TheDynamicSymbolsAreExactlyTheExportList) {
    std::FILE* nm = popen(SPUZARN_NM " --dynamic --defined-only " SPUZARN_LIBRARY, "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> defined, expected;  // "T name": a function in the text section
    char type, name[256];
    while (std::fscanf(nm, "%*s %c %255s", &type, name) == 2) defined.insert(type + std::string(" ") + name);
    ASSERT_EQ(pclose(nm), 0);
    for (const char* export_ : zarn::test::kExportNames) expected.insert(std::string("T ") + export_);
    EXPECT_EQ(defined, expected);

    void* library = dlopen(SPUZARN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* export_ : zarn::test::kExportNames) EXPECT_NE(dlsym(library, export_), nullptr) << export_;
    EXPECT_STREQ(reinterpret_cast<const char* (*)()>(dlsym(library, "PSEgetLibName"))(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(reinterpret_cast<uint32_t (*)()>(dlsym(library, "PSEgetLibVersion"))(), zarn::kLibVersion);
    dlclose(library);
}

}  // namespace
