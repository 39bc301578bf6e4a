#include "spuhost/Demo.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "spuhost/DemoTune.h"
#include "spuhost/HostSystem.h"
#include "spuhost/PluginLibrary.h"
#include "spuhost/Renderer.h"
#include "spuhost/Text.h"
#include "store/RegistrySettings.h"
#include "voice/RegisterMap.h"
#include "xa/XaDecodeBlock.h"

namespace spuhost {

namespace {

using Clock = std::chrono::steady_clock;

// Interrupts the plugin raises while the tune plays (the IRQ address lies
// in the plucked string).
int interrupts = 0;
void ZARN_CALL CountInterrupt() { ++interrupts; }

class Player {
public:
    Player(const PluginLibrary& plugin, const DemoTune& tune) : plugin_(plugin), tune_(tune) {}

    // SPUinit, then the sounds uploaded through the transfer registers as a
    // game's DMA.
    void Start() {
        plugin_->SPUinit();
        plugin_->SPUregisterCallback(CountInterrupt);
        for (const DemoUpload& upload : tune_.uploads) {
            std::vector<uint16_t> words(upload.bytes.size() / 2);
            for (size_t i = 0; i < words.size(); ++i) {
                words[i] = static_cast<uint16_t>(upload.bytes[2 * i] | upload.bytes[2 * i + 1] << 8);
            }
            plugin_->SPUwriteRegister(zarn::reg::kTransferAddress, upload.unit);
            plugin_->SPUwriteDMAMem(words.data(), static_cast<int32_t>(words.size()));
        }
    }
    void Apply(const DemoEvent& event) {
        if (event.kind == DemoEvent::Kind::Write) {
            plugin_->SPUwriteRegister(event.address, event.value);
        } else {
            tune_.FillXaBlock(event.value, *xa_);
            plugin_->SPUplayADPCMchannel(xa_.get());
        }
    }
    ~Player() { plugin_->SPUshutdown(); }

private:
    const PluginLibrary& plugin_;
    const DemoTune& tune_;
    std::unique_ptr<zarn::XaDecodeBlock> xa_ = std::make_unique<zarn::XaDecodeBlock>();
};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

void Demo(const DemoOptions& options) {
    PluginLibrary plugin(options.plugin);
    plugin.Require(
        {"SPUinit", "SPUshutdown", "SPUregisterCallback", "SPUwriteRegister", "SPUwriteDMAMem", "SPUplayADPCMchannel"},
        "demo");
    if (options.live) {
        plugin.Require({"SPUopen", "SPUclose"}, "demo --live");
    } else {
        plugin.Require({"SPUrender"}, "demo");
    }

    const DemoTune tune = ComposeDemo(options.console);
    const double seconds = static_cast<double>(tune.frames) / kFrameRate;
    const PrivateSettingsStore store;
    {
        zarn::RegistrySettings settings;
        settings.Load();
        settings.SetEnableReverb(1);
        if (options.console) settings.ConsoleAccurate = 1;
        settings.Save();
    }

    if (options.live) {
        std::printf("playing %s through the plugin's sound thread...\n", Seconds(seconds).c_str());
        std::fflush(stdout);
        Player player(plugin, tune);
        player.Start();
        plugin->SPUopen(HostWindow());
        const Clock::time_point start = Clock::now();
        for (const DemoEvent& event : tune.events) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(event.frame * 1000000 / kFrameRate));
            player.Apply(event);
        }
        std::this_thread::sleep_until(start + std::chrono::microseconds(tune.frames * 1000000 / kFrameRate));
        plugin->SPUclose();
        std::printf("played %s; %d interrupts\n", Seconds(SecondsSince(start)).c_str(), interrupts);
        return;
    }

    const std::string out = !options.out.empty() ? options.out : options.console ? "demo-console.wav" : "demo.wav";
    Renderer renderer(plugin, out, tune.frames);
    const Clock::time_point start = Clock::now();
    {
        Player player(plugin, tune);
        player.Start();
        for (const DemoEvent& event : tune.events) {
            renderer.RenderTo(event.frame);
            player.Apply(event);
        }
        renderer.Finish();
    }
    const double took = SecondsSince(start);
    std::printf("%s: %s, peak %s, %d interrupts; rendered in %.3f s (%.0fx real time)\n", renderer.Path().c_str(),
                Seconds(seconds).c_str(), PeakLevel(renderer.Peak()).c_str(), interrupts, took,
                took > 0 ? seconds / took : 0.0);
}

}  // namespace spuhost
