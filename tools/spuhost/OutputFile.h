// A file the tool writes: it is written under a temporary name beside its
// place and takes its real name only when Commit says it is complete, so a
// command that fails leaves no partial output behind as if it were whole.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace spuhost {

class OutputFile {
public:
    // Opens the temporary file; a ToolError names a path that cannot be written.
    explicit OutputFile(const std::string& path);
    // Removes the temporary file unless committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const void* data, size_t bytes);
    // Closes the file and gives it its name, replacing an older file.
    void Commit();

    const std::string& Path() const { return path_; }

private:
    [[noreturn]] void Fail(const std::string& what);

    std::string path_, temporary_;
    std::FILE* file_ = nullptr;
};

}  // namespace spuhost
