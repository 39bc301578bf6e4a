#include "spuhost/Replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "spuhost/HostSystem.h"
#include "spuhost/PluginLibrary.h"
#include "spuhost/RegisterLogFile.h"
#include "spuhost/Renderer.h"
#include "spuhost/Text.h"
#include "state/FreezeRecord.h"

namespace spuhost {

namespace {

// A bar on standard error, redrawn when a whole percent more is done.
class ProgressBar {
public:
    explicit ProgressBar(uint64_t total) : total_(std::max<uint64_t>(total, 1)) {}
    ~ProgressBar() {
        if (drawn_ >= 0) std::fprintf(stderr, "\r%60s\r", "");
    }
    void Show(uint64_t done) {
        const int percent = static_cast<int>(100 * done / total_);
        if (percent == drawn_) return;
        drawn_ = percent;
        char bar[41];
        std::memset(bar, ' ', 40);
        std::memset(bar, '#', static_cast<size_t>(percent * 40 / 100));
        bar[40] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
        std::fflush(stderr);
    }

private:
    uint64_t total_;
    int drawn_ = -1;
};

}  // namespace

std::string DefaultWavName(const std::string& log) {
    std::string name = std::filesystem::path(log).filename().string();
    const size_t dot = name.size() >= 4 ? name.size() - 4 : std::string::npos;
    if (dot != std::string::npos) {
        std::string extension = name.substr(dot);
        for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (extension == ".pss") name.erase(dot);
    }
    return name + ".wav";
}

void Replay(const ReplayOptions& options) {
    const RegisterLogFile log = ReadRegisterLog(options.log, true);
    uint64_t lastFrame = 0;
    for (const zarn::RegisterLogEntry& entry : log.entries) lastFrame = std::max(lastFrame, log.Frame(entry));

    PluginLibrary plugin(options.plugin);
    plugin.Require({"SPUinit", "SPUshutdown", "SPUfreeze", "SPUwriteRegister", "SPUrender"}, "play");
    const auto started = std::chrono::steady_clock::now();
    Renderer renderer(plugin, options.out.empty() ? DefaultWavName(options.log) : options.out,
                      lastFrame + options.tailFrames);

    plugin->SPUinit();
    struct Shutdown {
        const PluginLibrary& plugin;
        ~Shutdown() { plugin->SPUshutdown(); }
    } shutdown{plugin};
    const auto record = std::make_unique<zarn::FreezeRecord>();
    plugin->SPUfreeze(1, record.get());
    std::memcpy(record->soundRam, log.soundRam.data(), sizeof record->soundRam);
    std::memcpy(record->registers, log.registers.data(), sizeof record->registers);
    plugin->SPUfreeze(0, record.get());

    std::unique_ptr<ProgressBar> progress;
    if (StderrIsTerminal()) {
        progress = std::make_unique<ProgressBar>(renderer.TotalFrames());
        renderer.onProgress = [&](uint64_t frames) { progress->Show(frames); };
    }
    for (const zarn::RegisterLogEntry& entry : log.entries) {
        renderer.RenderTo(log.Frame(entry));
        plugin->SPUwriteRegister(entry.address, entry.value);
    }
    renderer.Finish();
    progress.reset();

    const double seconds = static_cast<double>(renderer.Frames()) / kFrameRate;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %s, %s writes replayed, peak %s; rendered in %.2f s (%.0fx real time)\n", renderer.Path().c_str(),
                Seconds(seconds).c_str(), Thousands(log.entries.size()).c_str(), PeakLevel(renderer.Peak()).c_str(),
                took, took > 0 ? seconds / took : 0.0);
}

}  // namespace spuhost
