// What stops a command: a message for the user, naming the problem. The
// commands throw it; main prints it and exits with 1.
#pragma once

#include <stdexcept>
#include <string>

namespace spuhost {

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace spuhost
