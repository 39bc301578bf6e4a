// Everything at once, for SPUZARN_STRESS_SECONDS, in each sound model: host
// threads writing and reading registers, transferring, queuing XA (with the
// XA wait on and off), rendering, saving (the size queried) and loading,
// while the sound thread mixes on the clock device, the real-time window's
// actions change the live settings and start and stop recordings, and the
// host closes and reopens the run. Under ThreadSanitizer (the tsan preset)
// it must end without a report; in any build, without a deadlock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/SpuCore.h"
#include "platform/SpuLock.h"
#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "state/FreezeExtension.h"
#include "state/RegisterLog.h"
#include "state/SpuRecorder.h"
#include "support/FakeSurface.h"
#include "support/TestStore.h"
#include "ui/SettingsDialog.h"
#include "xa/XaDecodeBlock.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using namespace ui::control;
using Clock = std::chrono::steady_clock;

std::atomic<uint64_t> irqCalls{0};
void ZARN_CALL CountIrq() { ++irqCalls; }

// The real-time window as its dialog procedure works it: every message
// handled with the SPU lock held, an edit's new text notified at once.
class FakeWindow {
public:
    explicit FakeWindow(DriverSettings& settings) : dialog_(settings, recorder_) { controls_.dialog = &dialog_; }

    void Open() {
        Handle([&] { dialog_.Initialise(controls_); });
    }
    void Press(int id) {
        Handle([&] { dialog_.Command(controls_, id, 0); });
    }
    void Click(int id) {
        Handle([&] { controls_.Click(id); });
    }
    void Type(int id, int value) {
        Handle([&] { controls_.Type(id, std::to_string(value)); });
    }

private:
    class Recorder : public ui::RecorderSwitch {
    public:
        bool IsRecording() const override { return plugin::Inspect().recorder->IsRecording(); }
        void StartRecording() override { plugin::StartRecording(); }
        void StopRecording() override { plugin::StopRecording(); }
    };
    template <typename Action>
    void Handle(Action action) {
        SpuLockGuard lock;
        action();
    }

    Recorder recorder_;
    ui::RealtimeDialog dialog_;
    test::FakeSurface controls_;
};

// A looping sample at unit 0x200 for the voices to play.
void LoadSample() {
    std::vector<uint16_t> block(8 * 4, 0x7531);
    block[0] = 0x0000, block[8] = 0x0000, block[16] = 0x0000, block[24] = 0x0300;  // the last block loops
    SPUwriteRegister(0x1F801DA6, 0x200);
    SPUwriteDMAMem(block.data(), static_cast<int32_t>(block.size()));
}

class StressTest : public ::testing::TestWithParam<int> {};  // the stored "ConsoleAccurate"

TEST_P(StressTest, HostThreadsTheSoundThreadAndTheWindowAtOnce) {
    const fs::path directory = fs::temp_directory_path() / ("spuzarn-stress-" + std::to_string(std::random_device{}()));
    fs::create_directories(directory);
    const fs::path previous = fs::current_path();
    fs::current_path(directory);  // where recordings go
    test::UseFreshSettingsStore();
    test::StoreValue("ConsoleAccurate", 4, {static_cast<uint8_t>(GetParam()), 0, 0, 0});
    ASSERT_EQ(SPUinit(), 0);
    ASSERT_EQ(plugin::Inspect().core->model, GetParam() == 1 ? kConsole : kStandard);
    DriverSettings& settings = *plugin::Inspect().settings;
    settings.ShowRealtimeConfigWindow = 1;
    SPUregisterCallback(CountIrq);
    LoadSample();
    SPUwriteRegister(0x1F801DA4, 0x200);  // the interrupt at the sample's first block
    SPUopen(nullptr);

    std::atomic<bool> stop{false}, xaDone{false};
    // Held while the run is closed: the window exists only while it is open.
    std::mutex runGate;
    std::map<std::string, std::atomic<uint64_t>> counts;
    for (const char* name : {"register writes", "register reads", "DMA words", "DMA blocks", "XA blocks",
                             "XA blocks waited for", "CD audio sectors", "renders", "saves", "loads", "window actions",
                             "recording starts and stops", "open/close cycles"}) {
        counts[name] = 0;
    }
    // A thread that repeats `work`, which returns how many calls it made.
    const auto loop = [&](const char* name, uint32_t seed, const std::function<int(std::minstd_rand&)>& work) {
        return std::thread([&, name, seed, work] {
            std::minstd_rand random(seed);
            while (!stop) counts.at(name) += work(random);
        });
    };

    std::vector<std::thread> threads;
    threads.push_back(loop("register writes", 1, [](std::minstd_rand& random) {
        const uint32_t voice = random() % 24, base = 0x1F801C00 + 16 * voice;
        SPUwriteRegister(base + 0, 0x1000 + random() % 0x2000);
        SPUwriteRegister(base + 2, 0x1000 + random() % 0x2000);
        SPUwriteRegister(base + 4, 0x400 + random() % 0x3000);
        SPUwriteRegister(base + 6, 0x200);
        SPUwriteRegister(base + 8, 0x80FF);
        SPUwriteRegister(0x1F801D80 + 2 * (random() % 8), random() % 0x4000);             // main and reverb volumes
        SPUwriteRegister(random() % 2 ? 0x1F801D88 : 0x1F801D8C, 1u << (random() % 16));  // key on, key off
        SPUwriteRegister(0x1F801D90 + 2 * (random() % 6), random() % 0x10000);            // modulation, noise, reverb
        SPUwriteRegister(0x1F801DAA, 0xC0C1 & ~(random() % 2 << 6));  // the console's interrupt acknowledged or armed
        return 9;
    }));
    threads.push_back(loop("register reads", 2, [](std::minstd_rand& random) {
        SPUreadRegister(0x1F801C00 + 2 * (random() % 256));
        return 1;
    }));
    threads.push_back(loop("DMA words", 3, [](std::minstd_rand& random) {
        SPUwriteRegister(0x1F801DA6, 0x1000 + random() % 0x1000);
        SPUwriteDMA(random() % 0x10000);
        SPUreadDMA();
        return 2;
    }));
    threads.push_back(loop("DMA blocks", 4, [](std::minstd_rand& random) {
        std::vector<uint16_t> words(1 + random() % 4096, 0x1234);
        SPUwriteRegister(0x1F801DA6, 0x1000 + random() % 0x8000);
        if (random() % 2)
            SPUwriteDMAMem(words.data(), static_cast<int32_t>(words.size()));
        else
            SPUreadDMAMem(words.data(), static_cast<int32_t>(words.size()));
        return 1;
    }));
    std::thread xa([&] {
        auto block = std::make_unique<XaDecodeBlock>();
        block->frequency = 37800;
        block->bitsPerSample = 4;
        block->sampleCount = 1000;
        std::minstd_rand random(5);
        while (!stop) {
            const bool wait = random() % 2;
            {
                SpuLockGuard lock;  // read under the lock, like every reader of it
                settings.EnableXAWait = wait;
            }
            block->stereo = random() % 2;
            SPUplayADPCMchannel(block.get());
            ++counts.at(wait ? "XA blocks waited for" : "XA blocks");
            int16_t sector[1176] = {};
            SPUplayCDDAchannel(sector, sizeof sector);
            ++counts.at("CD audio sectors");
        }
        xaDone = true;
    });
    // Renders drain the CD rings also while the run is closed, so a waiting
    // XA block or CD audio sector always gets its room.
    std::thread render([&] {
        std::minstd_rand random(6);
        std::vector<int16_t> frames(2 * 256);
        while (!xaDone) {
            SPUrender(frames.data(), static_cast<uint32_t>(4 * (1 + random() % 256)));
            ++counts.at("renders");
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    std::vector<uint8_t> bytes(kExtendedFreezeSize), header(16);
    auto* const record = reinterpret_cast<FreezeRecord*>(bytes.data());
    threads.push_back(loop("saves", 7, [&](std::minstd_rand& random) {
        EXPECT_EQ(SPUfreeze(2, reinterpret_cast<FreezeRecord*>(header.data())) + SPUfreeze(1, record), 2);
        if (random() % 2) {
            EXPECT_EQ(SPUfreeze(0, record), 1);
            ++counts.at("loads");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 1;
    }));
    std::unique_ptr<FakeWindow> window;
    threads.push_back(loop("window actions", 8, [&](std::minstd_rand& random) {
        std::lock_guard gate(runGate);
        if (window == nullptr || random() % 64 == 0) {  // a new window, as each run gets
            window = std::make_unique<FakeWindow>(settings);
            window->Open();
        }
        switch (random() % 9) {
        case 0: window->Press(kOk); break;
        case 1: window->Press(kCancel); break;  // loads the stored settings
        case 2: window->Press(kDefault); break;
        case 3: window->Click(kHighResolutionMode); break;
        case 4: window->Click(kEnableReverb); break;
        case 5: window->Click(kEnableSpuIrq); break;
        case 6: window->Type(kSoundBufferSize, 1 << (random() % 6)); break;
        case 7: window->Type(random() % 2 ? kXABufferSize : kXAVolume, 8 + random() % 100); break;
        case 8:
            if (random() % 8 == 0) {
                window->Press(kRecord);
                ++counts.at("recording starts and stops");
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }));
    threads.push_back(loop("open/close cycles", 9, [&](std::minstd_rand& random) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 150));
        std::lock_guard gate(runGate);
        SPUclose();
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
        SPUopen(nullptr);
        return 1;
    }));

    const double seconds = SPUZARN_STRESS_SECONDS;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (std::thread& thread : threads) thread.join();
    xa.join();
    render.join();
    SPUclose();
    {
        SpuLockGuard lock;
        if (plugin::Inspect().recorder->IsRecording()) plugin::StopRecording();
    }

    std::printf("stress test, %.0f s:", seconds);
    for (const auto& [name, count] : counts)
        std::printf(" %s %llu,", name.c_str(), static_cast<unsigned long long>(count));
    std::printf(" interrupts %llu\n", static_cast<unsigned long long>(irqCalls.load()));
    for (const auto& [name, count] : counts) EXPECT_GT(count, 0u) << name;
    EXPECT_FALSE(plugin::Inspect().recorder->IsRecording());
    // The last recording's log is whole: its size matches its own entry count.
    std::FILE* log = std::fopen(register_log::kFileName, "rb");
    ASSERT_NE(log, nullptr);
    uint32_t entries = 0;
    std::fseek(log, register_log::kCountOffset, SEEK_SET);
    ASSERT_EQ(std::fread(&entries, 4, 1, log), 1u);
    std::fclose(log);
    EXPECT_EQ(fs::file_size(register_log::kFileName), register_log::FileSize(entries));

    SPUshutdown();
    fs::current_path(previous);
    fs::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(Models, StressTest, ::testing::Values(0, 1),
                         [](const auto& model) { return model.param == 1 ? "Console" : "Standard"; });

}  // namespace
}  // namespace zarn
