#include "spuhost/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "spuhost/ToolError.h"

namespace spuhost {

OutputFile::OutputFile(const std::string& path) : path_(path), temporary_(path + ".part") {
    if (std::filesystem::is_directory(path)) throw ToolError("cannot write " + path + ": it is a folder");
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) Fail("cannot write " + path);
}

OutputFile::~OutputFile() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(temporary_.c_str());
}

void OutputFile::Fail(const std::string& what) {
    const std::string reason = std::strerror(errno);
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    std::remove(temporary_.c_str());
    throw ToolError(what + ": " + reason);
}

void OutputFile::Write(const void* data, size_t bytes) {
    if (std::fwrite(data, 1, bytes, file_) != bytes) Fail("cannot write " + path_);
}

void OutputFile::Commit() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(temporary_.c_str());
        throw ToolError("cannot write " + path_ + ": " + reason);
    }
    std::error_code failed;
    std::filesystem::rename(temporary_, path_, failed);
    if (failed) {
        std::remove(temporary_.c_str());
        throw ToolError("cannot write " + path_ + ": " + failed.message());
    }
}

}  // namespace spuhost
