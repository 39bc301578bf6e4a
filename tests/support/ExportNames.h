// The plugin interface's export names, as hosts look them up.
#pragma once

#include "plugin/ExportList.h"

namespace zarn::test {

#define ZARN_EXPORT_NAME(result, name, parameters) #name,
constexpr const char* kExportNames[] = {ZARN_EXPORT_LIST(ZARN_EXPORT_NAME)};
constexpr const char* kLinuxExportNames[] = {ZARN_LINUX_EXPORT_LIST(ZARN_EXPORT_NAME)};
#undef ZARN_EXPORT_NAME

}  // namespace zarn::test
