#include "spuhost/PluginLibrary.h"

#include <cstring>

#include "spuhost/ToolError.h"

namespace spuhost {

namespace {

template <typename Function>
void Bind(LibraryHandle library, const char* name, Function& slot) {
    slot = reinterpret_cast<Function>(FindExport(library, name));
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    std::string error;
    library_ = LoadLibraryAt(path, error);
    if (library_ == nullptr) throw ToolError("cannot load the plugin " + path + ": " + error);
#define SPUHOST_BIND_EXPORT(result, name, parameters) Bind(library_, #name, exports_.name);
    ZARN_EXPORT_LIST(SPUHOST_BIND_EXPORT)
#undef SPUHOST_BIND_EXPORT
}

PluginLibrary::~PluginLibrary() { UnloadLibrary(library_); }

void PluginLibrary::Require(std::initializer_list<const char*> names, const std::string& command) const {
    for (const char* name : names) {
        bool found = false;
#define SPUHOST_FIND_EXPORT(result, export_name, parameters) \
    if (std::strcmp(name, #export_name) == 0) found = exports_.export_name != nullptr;
        ZARN_EXPORT_LIST(SPUHOST_FIND_EXPORT)
#undef SPUHOST_FIND_EXPORT
        if (!found) {
            throw ToolError("the plugin " + path_ + " has no export " + name + ", which " + command + " needs");
        }
    }
}

}  // namespace spuhost
