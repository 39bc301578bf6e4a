#include "support/RunProgram.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zarn::test {

namespace {

std::string ReadAndRemove(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

std::filesystem::path CaptureFile(unsigned long processId) {
    static int runs = 0;
    return std::filesystem::temp_directory_path() /
           ("spuzarn-run-" + std::to_string(processId) + "-" + std::to_string(++runs) + ".txt");
}

}  // namespace

#if defined(_WIN32)

std::string BesideThisProgram(const std::string& name) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return (std::filesystem::path(self).parent_path() / name).string();
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = "\"" + BesideThisProgram(program) + "\"";
    for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
    const std::filesystem::path capture = CaptureFile(GetCurrentProcessId());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE output = CreateFileA(capture.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process{};
    DWORD code = static_cast<DWORD>(-1);
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(output);
    // An exception code (0xC0000005 ...) is a crash.
    const int exitCode = code >= 0xC0000000u ? -1 : static_cast<int>(code);
    return {exitCode, ReadAndRemove(capture)};
}

#else

std::string BesideThisProgram(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    const std::string path = BesideThisProgram(program);
    const std::filesystem::path capture = CaptureFile(static_cast<unsigned long>(getpid()));
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int output = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadAndRemove(capture)};
}

#endif

}  // namespace zarn::test
