// spuhost: a host program for the spuZarn sound plugin. It loads the plugin
// library by path and drives it only through its exports, as an emulator
// does: it plays a built-in demo tune, turns the recorder's register logs
// back into sound and pictures, and edits the plugin's stored settings.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "spuhost/Demo.h"
#include "spuhost/HostSystem.h"
#include "spuhost/LogInfo.h"
#include "spuhost/Replay.h"
#include "spuhost/SettingsCommand.h"
#include "spuhost/Text.h"
#include "spuhost/ToolError.h"

namespace {

constexpr const char* kUsage =
    "usage: spuhost COMMAND [ARGUMENTS] [--plugin PATH]\n"
    "\n"
    "  demo [--console] [--out FILE.wav] [--live]\n"
    "      plays a built-in tune of about twenty seconds through the plugin: into FILE.wav\n"
    "      (default demo.wav) with SPUrender, or live on the plugin's sound thread; with\n"
    "      --console in the console sound model, with its reverb (default demo-console.wav)\n"
    "  play LOG.pss [--out FILE.wav] [--tail SECONDS]\n"
    "      replays a recorder log into FILE.wav (default: the log's name with .wav, in the\n"
    "      current folder), with SECONDS (default 2) more after the last write\n"
    "  info LOG.pss [--timeline FILE.svg]\n"
    "      what the log holds; with --timeline, a picture of when each voice sounds\n"
    "  settings [NAME=VALUE ...]\n"
    "      shows the plugin's ten stored settings and where they are kept, or checks and\n"
    "      saves new values (all of them, or none when one is refused)\n"
    "\n"
    "--plugin PATH loads that plugin library instead of the one built beside spuhost\n"
    "(demo and play load it; info and settings need none).\n";

class UsageError : public spuhost::ToolError {
public:
    using ToolError::ToolError;
};

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    std::string out, tail, timeline, plugin;
    bool live = false, console = false, hasOut = false, hasTail = false, hasTimeline = false;
};

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    if (argc < 2) throw UsageError("no command");
    arguments.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&](bool& given) {
            if (i + 1 >= argc) throw UsageError(argument + " needs a value");
            given = true;
            return std::string(argv[++i]);
        };
        bool plugin = false;
        if (argument == "--out") {
            arguments.out = value(arguments.hasOut);
        } else if (argument == "--tail") {
            arguments.tail = value(arguments.hasTail);
        } else if (argument == "--timeline") {
            arguments.timeline = value(arguments.hasTimeline);
        } else if (argument == "--plugin") {
            arguments.plugin = value(plugin);
        } else if (argument == "--live") {
            arguments.live = true;
        } else if (argument == "--console") {
            arguments.console = true;
        } else if (argument.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + argument);
        } else {
            arguments.positional.push_back(argument);
        }
    }
    if (arguments.plugin.empty()) arguments.plugin = spuhost::DefaultPluginPath();
    return arguments;
}

// Options a command does not take.
void Refuse(const Arguments& arguments, bool out, bool tail, bool timeline, bool live) {
    const char* option = !out && arguments.hasOut             ? "--out"
                         : !tail && arguments.hasTail         ? "--tail"
                         : !timeline && arguments.hasTimeline ? "--timeline"
                         : !live && arguments.live            ? "--live"
                                                              : nullptr;
    if (option != nullptr) throw UsageError(arguments.command + " takes no " + option);
}

void Run(const Arguments& arguments) {
    const std::string& command = arguments.command;
    const std::vector<std::string>& positional = arguments.positional;
    if (arguments.console && command != "demo") throw UsageError(command + " takes no --console");
    if (command == "demo") {
        Refuse(arguments, true, false, false, true);
        if (!positional.empty()) throw UsageError("demo takes no " + positional[0]);
        if (arguments.live && arguments.hasOut) throw UsageError("demo --live plays the tune and writes no file");
        spuhost::DemoOptions options;
        if (arguments.hasOut) options.out = arguments.out;
        options.live = arguments.live;
        options.console = arguments.console;
        options.plugin = arguments.plugin;
        spuhost::Demo(options);
    } else if (command == "play") {
        Refuse(arguments, true, true, false, false);
        if (positional.size() != 1) throw UsageError("play takes one log file");
        spuhost::ReplayOptions options{positional[0], arguments.out, 2 * spuhost::kFrameRate, arguments.plugin};
        if (arguments.hasTail) {
            const auto frames = spuhost::SecondsToFrames(arguments.tail);
            if (!frames) throw UsageError("--tail " + arguments.tail + ": give a number of seconds, 0 to 86400");
            options.tailFrames = *frames;
        }
        spuhost::Replay(options);
    } else if (command == "info") {
        Refuse(arguments, false, false, true, false);
        if (positional.size() != 1) throw UsageError("info takes one log file");
        spuhost::ShowInfo({positional[0], arguments.timeline});
    } else if (command == "settings") {
        Refuse(arguments, false, false, false, false);
        spuhost::Settings(positional);
    } else {
        throw UsageError("unknown command " + command);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        Run(Parse(argc, argv));
        return 0;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "spuhost: %s\n\n%s", error.what(), kUsage);
        return 2;
    } catch (const spuhost::ToolError& error) {
        std::fprintf(stderr, "spuhost: %s\n", error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spuhost: %s\n", error.what());
    }
    return 1;
}
