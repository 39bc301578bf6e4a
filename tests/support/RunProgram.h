// Runs a program of the build, as a user runs it from a shell: in the
// current directory, with this process's environment, its standard output
// and error captured together.
#pragma once

#include <string>
#include <vector>

namespace zarn::test {

struct ProgramRun {
    int exitCode;  // -1 when the program did not end by itself (a crash)
    std::string output;
};

// `program` is a file name beside this test program.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Path of a file beside this test program.
std::string BesideThisProgram(const std::string& name);

}  // namespace zarn::test
