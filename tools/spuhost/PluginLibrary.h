// The plugin as an emulator sees it: a library loaded by path, each entry
// point found by its exported name (the names and signatures of
// plugin/ExportList.h) and called through a pointer.
#pragma once

#include <initializer_list>
#include <string>

#include "plugin/PluginApi.h"
#include "spuhost/HostSystem.h"

namespace spuhost {

// One pointer per export, named like the export; null when the library
// lacks it.
struct PluginExports {
#define SPUHOST_EXPORT_POINTER(result, name, parameters) result(ZARN_CALL* name) parameters = nullptr;
    ZARN_EXPORT_LIST(SPUHOST_EXPORT_POINTER)
#undef SPUHOST_EXPORT_POINTER
};

class PluginLibrary {
public:
    // Loads the library at `path` and looks up every export; a library that
    // does not load is a ToolError naming the path and the reason.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // A ToolError naming the first of `names` the library does not export,
    // and what `command` needs it for.
    void Require(std::initializer_list<const char*> names, const std::string& command) const;

    const PluginExports* operator->() const { return &exports_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    LibraryHandle library_ = nullptr;
    PluginExports exports_;
};

}  // namespace spuhost
