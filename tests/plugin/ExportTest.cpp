// libspuZarn.so's dynamic symbol table defines the functions of the export
// list and nothing else, and a host finds each by its plain name.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <vector>

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
    std::vector<const char*> expected_names(std::begin(zarn::test::kExportNames), std::end(zarn::test::kExportNames));
    expected_names.insert(expected_names.end(), std::begin(zarn::test::kLinuxExportNames),
                          std::end(zarn::test::kLinuxExportNames));
    for (const char* export_ : expected_names) expected.insert(std::string("T ") + export_);
    EXPECT_EQ(defined, expected);

    void* library = dlopen(SPUZARN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* export_ : expected_names) EXPECT_NE(dlsym(library, export_), nullptr) << export_;
    EXPECT_STREQ(reinterpret_cast<const char* (*)()>(dlsym(library, "PSEgetLibName"))(), "Zarn's SPU Audio Driver");
    // Major, minor and patch in bits 16-23, 8-15 and 0-7.
    EXPECT_EQ(reinterpret_cast<uint32_t (*)()>(dlsym(library, "PSEgetLibVersion"))(),
              zarn::kVersionMajor * 65536 + zarn::kVersionMinor * 256 + zarn::kVersionPatch);
    dlclose(library);
}

}  // namespace
