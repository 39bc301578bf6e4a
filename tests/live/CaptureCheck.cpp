// capture_check: the listening end of the live tests. Two modes:
//
//   capture_check FILE [--min-sound S] [--allow-zero-runs]
//     checks the player's tone in a WAV capture: its frequency, the sounding
//     time, and no silent stretch (nor jump) after the attack; runs of exact
//     zeros pass with --allow-zero-runs. Prints key=value lines and exits
//     with 1 when a check fails.
//
//   capture_check --pace FIFO PREFIX
//     stands in for a sound card behind ALSA's file plugin: reads each stream
//     written into FIFO at the byte rate its header gives, copying it to
//     PREFIX-1.wav, PREFIX-2.wav, ... (a stream without any sound data is
//     left out), until SIGTERM or SIGINT. As each stream ends, prints the
//     CLOCK_MONOTONIC_RAW time its first non-zero byte played (the clock the
//     player and Wine's performance counter read).
//
// The file plugin writes the 44-byte header of a plain WAV file, with length
// fields of 0 into a FIFO (which it cannot rewind to fill them in): the data
// runs to the end of the file. Wine's mixer writes 32-bit floats under a
// header that says integer PCM; 32-bit samples here are always floats.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kToneHz = 787.5;  // the player's tone
constexpr size_t kHeaderBytes = 44;

// The "fmt " chunk's body, little-endian as the machines these tests run on.
struct Wav {
    uint16_t tag, channels;
    uint32_t rate, byteRate;
    uint16_t blockAlign, bits;
};
static_assert(sizeof(Wav) == 16);

bool ParseHeader(const uint8_t* h, Wav& wav) {
    std::memcpy(&wav, h + 20, sizeof wav);
    return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 &&
           std::memcmp(h + 36, "data", 4) == 0 && wav.channels > 0 && (wav.bits == 16 || wav.bits == 32) &&
           wav.blockAlign == wav.channels * wav.bits / 8 && wav.rate > 0 && wav.byteRate == wav.rate * wav.blockAlign;
}

// ---------------------------------------------------------------- checking

int Check(const std::string& path, double minSound, bool allowZeroRuns) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Wav wav;
    std::printf("file=%s\n", path.c_str());
    if (file.size() < kHeaderBytes || !ParseHeader(file.data(), wav)) {
        std::printf("result=fail: %s\n", file.empty() ? "no capture" : "not a WAV file of 16- or 32-bit samples");
        return 1;
    }
    // The channels mixed down to one, in [-1, 1].
    const size_t frames = (file.size() - kHeaderBytes) / wav.blockAlign;
    std::vector<float> x(frames);
    for (size_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < wav.channels; ++c) {
            const uint8_t* p = &file[kHeaderBytes + f * wav.blockAlign + c * wav.bits / 8];
            float sample = 0;
            if (wav.bits == 16)
                sample = static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0f;
            else
                std::memcpy(&sample, p, 4);
            x[f] += sample / wav.channels;
        }
    }
    const double rate = wav.rate;
    std::printf("rate=%u\nchannels=%u\nbits=%u\nduration_s=%.3f\n", wav.rate, wav.channels, wav.bits, frames / rate);
    std::string failures;
    const auto fail = [&](const std::string& what) { failures += (failures.empty() ? " " : ", ") + what; };

    float peak = 0;
    for (const float v : x) peak = std::max(peak, std::fabs(v));
    if (peak < 1e-3f) {
        std::printf("result=fail: no sound\n");
        return 1;
    }
    // The sounding part runs from the first to the last frame above a
    // hundredth of the peak; anything quieter for 2 ms inside it is a gap.
    const float quiet = peak / 100;
    size_t begin = 0, end = frames;
    while (std::fabs(x[begin]) < quiet) ++begin;
    while (std::fabs(x[end - 1]) < quiet) --end;
    std::printf("sounding_from_s=%.4f\nsounding_s=%.3f\npeak=%.4f\n", begin / rate, (end - begin) / rate, peak);
    if ((end - begin) / rate < minSound) fail("short sound");

    int zeroRuns = 0, quietRuns = 0;
    for (size_t f = begin; f < end; ++f) {
        size_t length = 0;
        bool zeros = true;
        for (; f < end && std::fabs(x[f]) < quiet; ++f, ++length) zeros = zeros && x[f] == 0;
        if (length < rate / 500) continue;
        zeroRuns += zeros;
        quietRuns += !zeros;
        if (zeroRuns + quietRuns <= 8) {
            std::printf("gap_at_s=%.4f %s %.2f ms\n", (f - length) / rate, zeros ? "zeros" : "quiet",
                        length * 1e3 / rate);
        }
    }
    if (quietRuns > 0) fail("quiet gaps");
    if (zeroRuns > 0 && !allowZeroRuns) fail("zero gaps");

    // Frequency from the median period between rising zero crossings (with a
    // tenth of the peak as hysteresis), interpolated between samples: periods
    // broken by a gap do not count.
    std::vector<double> periods;
    double crossing = -1;
    bool armed = false;
    for (size_t f = begin + 1; f < end; ++f) {
        if (x[f] < -peak / 10) armed = true;
        if (armed && x[f - 1] < 0 && x[f] >= 0) {
            const double at = static_cast<double>(f - 1) + x[f - 1] / (x[f - 1] - x[f]);
            if (crossing >= 0) periods.push_back(at - crossing);
            crossing = at;
            armed = false;
        }
    }
    double frequency = 0;
    if (periods.size() >= 4) {
        std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
        frequency = rate / periods[periods.size() / 2];
    }
    std::printf("frequency_hz=%.3f\nexpected_hz=%.3f\n", frequency, kToneHz);
    if (std::fabs(frequency - kToneHz) > kToneHz / 100) fail("frequency");

    // Jumps: steps between neighbouring samples well beyond what a sine of
    // this peak and frequency can take. Not counted: the edges of gaps, and
    // the first and last 2 ms, where the sound may begin mid-wave (a voice
    // going on across SPUclose and SPUopen) or be cut off.
    const double maxStep = 1.5 * 2 * std::numbers::pi * kToneHz / rate * peak + peak / 50;
    const size_t edge = wav.rate / 500;
    int jumps = 0;
    for (size_t f = begin + edge + 1; f + edge < end; ++f) {
        if (x[f] != 0 && x[f - 1] != 0 && std::fabs(x[f] - x[f - 1]) > maxStep) ++jumps;
    }
    std::printf("jumps=%d\n", jumps);
    if (jumps > 0) fail("jumps");

    std::printf("result=%s%s\n", failures.empty() ? "ok" : "fail:", failures.c_str());
    return failures.empty() ? 0 : 1;
}

// ---------------------------------------------------------------- pacing

volatile sig_atomic_t stopRequested = 0;
void RequestStop(int) { stopRequested = 1; }

// Reads what is there, up to `size` bytes; false once the writer has closed.
bool ReadSome(int fd, uint8_t* buffer, size_t size, size_t& got) {
    for (got = 0; got < size;) {
        const ssize_t n = read(fd, buffer + got, size - got);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (n == 0)
            return false;
        else if (errno != EINTR)
            break;
    }
    return true;
}

struct Stream {
    double firstSoundMs = -1;  // when the first non-zero data byte plays
    uint64_t bytes = 0;
};

double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// One stream, from the writer's open to its close (or the stop request):
// the header, then the data at the header's byte rate in 1 ms ticks. Like a
// card, the reader has a little buffer of its own, kSlackMs: data that comes
// up to that late still plays in time (the file plugin writes in bursts, and
// a writer blocked on a full pipe needs a moment to wake). Later than that is
// an underrun: the card plays silence, and the schedule moves on without
// making up the time. False when the stream is not a WAV stream.
constexpr double kSlackMs = 10;

bool PaceStream(int fd, std::FILE* out, Stream& stream) {
    uint8_t buffer[1 << 16];
    size_t header = 0, got = 0;
    bool open = true;
    while (open && header < kHeaderBytes && !stopRequested) {
        open = ReadSome(fd, buffer + header, kHeaderBytes - header, got);
        header += got;
        if (open && header < kHeaderBytes) usleep(1000);
    }
    if (header < kHeaderBytes) return true;  // closed before it wrote anything
    Wav wav;
    if (!ParseHeader(buffer, wav)) return false;
    std::fwrite(buffer, 1, kHeaderBytes, out);
    double origin = NowMs();  // data byte n is due at origin + n / byte rate, and plays kSlackMs later
    while (open && !stopRequested) {
        const double due = (NowMs() - origin) * wav.byteRate / 1000;
        const size_t want = due > stream.bytes ? std::min(sizeof buffer, static_cast<size_t>(due - stream.bytes)) : 0;
        open = ReadSome(fd, buffer, want - want % wav.blockAlign, got);
        std::fwrite(buffer, 1, got, out);
        for (size_t i = 0; i < got && stream.firstSoundMs < 0; ++i) {
            if (buffer[i] != 0) stream.firstSoundMs = origin + (stream.bytes + i) * 1e3 / wav.byteRate + kSlackMs;
        }
        stream.bytes += got;
        // Behind by more than the slack: silence plays meanwhile. Before the
        // first data that is just the wait for the stream to begin.
        const double behindMs = (due - stream.bytes) * 1e3 / wav.byteRate - kSlackMs;
        if (open && behindMs > 0) origin += behindMs;
        usleep(1000);
    }
    return true;
}

int Pace(const char* fifo, const std::string& prefix) {
    signal(SIGTERM, RequestStop);
    signal(SIGINT, RequestStop);
    int fd = open(fifo, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(fifo);
        return 1;
    }
    // A pipe of one page, as small as a card's buffer: the writer waits on it.
    fcntl(fd, F_SETPIPE_SZ, 4096);
    int streams = 0;
    while (!stopRequested) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
            if (p.revents & POLLHUP) {
                // The last writer is gone: a fresh open waits for the next
                // one (opened before the old is closed, so a writer never
                // finds the FIFO without a reader).
                const int next = open(fifo, O_RDONLY | O_NONBLOCK);
                close(fd);
                fd = next;
            }
            continue;
        }
        const std::string file = prefix + "-" + std::to_string(streams + 1) + ".wav";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        Stream stream;
        if (out == nullptr || !PaceStream(fd, out, stream)) {
            std::fprintf(stderr, "capture_check: %s: cannot write it, or not a WAV stream\n", file.c_str());
            return 1;
        }
        std::fclose(out);
        if (stream.bytes == 0) {
            std::remove(file.c_str());
            continue;
        }
        ++streams;
        std::printf("stream%d_first_sound_clock_ms=%.1f\nstream%d_bytes=%llu\n", streams, stream.firstSoundMs, streams,
                    static_cast<unsigned long long>(stream.bytes));
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "--pace") return Pace(argv[2], args[2]);
    double minSound = 0;
    bool allowZeroRuns = false, good = !args.empty() && args[0][0] != '-';
    for (size_t i = 1; good && i < args.size(); ++i) {
        if (args[i] == "--min-sound" && i + 1 < args.size())
            minSound = std::atof(args[++i].c_str());
        else if (args[i] == "--allow-zero-runs")
            allowZeroRuns = true;
        else
            good = false;
    }
    if (good) return Check(args[0], minSound, allowZeroRuns);
    std::fprintf(stderr,
                 "usage: capture_check FILE [--min-sound S] [--allow-zero-runs]\n"
                 "       capture_check --pace FIFO PREFIX\n");
    return 2;
}
