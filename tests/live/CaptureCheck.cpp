// capture_check: the listening end of the live tests. Two modes:
//
//   capture_check FILE [--freq HZ] [--samples auto|int|float] [--gap-ms MS]
//                 [--allow-zero-runs] [--allow-glitches] [--min-sound S] [--max-first-sound S]
//     reads a WAV capture written by ALSA's file plugin and checks the tone
//     in it: its frequency, silent stretches and jumps after the attack, the
//     sounding time and where the first sound lies. Prints key=value lines
//     and exits with 1 when a check fails.
//
//   capture_check --pace FIFO OUT [--pipe-size BYTES]
//     stands in for a sound card behind the file plugin: reads the stream
//     the plugin writes into FIFO at the byte rate its header gives, and
//     copies it to OUT (a second stream on the same FIFO to OUT-2.wav, and
//     so on; a stream that ends without any sound data is left out). Until
//     SIGTERM or SIGINT; then prints, per stream, the CLOCK_MONOTONIC_RAW
//     times of its start and of its first non-zero byte, and the underruns
//     (stretches where the writer had not delivered in time).
//
// The file plugin's header may carry length 0 (a FIFO cannot be rewound to
// fix it up): the data then runs to the end of the file. Wine writes 32-bit
// floats under a header that says integer PCM; --samples auto tells the two
// apart by the values.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct WavFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    size_t dataOffset = 0;  // of the first sample byte
    uint32_t dataLength = 0;  // as the header says
};

// Walks the RIFF chunks up to "data". False while `bytes` is too short or
// not a WAV header at all (`bad` tells which).
bool ParseHeader(const uint8_t* bytes, size_t size, WavFormat& format, bool& bad) {
    bad = false;
    if (size < 12) return false;
    if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        bad = true;
        return false;
    }
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= size;) {
        const uint32_t length = Le32(bytes + at + 4);
        if (std::memcmp(bytes + at, "data", 4) == 0) {
            format.dataOffset = at + 8;
            format.dataLength = length;
            bad = !haveFormat;
            return haveFormat;
        }
        if (std::memcmp(bytes + at, "fmt ", 4) == 0) {
            if (at + 8 + 16 > size) return false;
            const uint8_t* f = bytes + at + 8;
            format.tag = Le16(f);
            format.channels = Le16(f + 2);
            format.rate = Le32(f + 4);
            format.byteRate = Le32(f + 8);
            format.blockAlign = Le16(f + 12);
            format.bits = Le16(f + 14);
            haveFormat = format.channels > 0 && format.rate > 0 && format.bits % 8 == 0 && format.bits > 0;
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

// The raw monotonic clock, as the player and Wine's performance counter read
// it, so that the times compare across the processes.
double NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// ---------------------------------------------------------------- checking

struct CheckOptions {
    double frequency = 787.5;
    std::string samples = "auto";
    double gapMs = 2.0;
    bool allowZeroRuns = false;
    bool allowGlitches = false;
    double minSound = 0;
    double maxFirstSound = -1;
};

// 32-bit samples are floats when nearly all of them read as floats of
// modest size. Integer audio fails this at once: every negative sample
// smaller than half scale reads as a huge or NaN float.
bool LooksLikeFloat(const uint8_t* data, size_t count) {
    size_t plausible = 0, nonZero = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t bits = Le32(data + 4 * i);
        if (bits == 0) continue;
        ++nonZero;
        float value;
        std::memcpy(&value, &bits, 4);
        if (std::isfinite(value) && std::fabs(value) <= 4.0f) ++plausible;
    }
    return nonZero > 0 && plausible >= nonZero - nonZero / 100;
}

struct Run {
    size_t start, length;
    bool exactZero;
};

int Check(const std::string& path, const CheckOptions& options) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WavFormat format;
    bool bad = false;
    if (!ParseHeader(file.data(), file.size(), format, bad)) {
        std::printf("file=%s\nresult=fail\nfailures=%s\n", path.c_str(), file.empty() ? "no-capture" : "not-wav");
        return 1;
    }
    size_t dataBytes = file.size() - format.dataOffset;
    if (format.dataLength != 0 && format.dataLength < dataBytes) dataBytes = format.dataLength;
    const size_t sampleBytes = format.bits / 8;
    const size_t frameBytes = sampleBytes * format.channels;
    const size_t frames = dataBytes / frameBytes;
    const uint8_t* data = file.data() + format.dataOffset;
    bool isFloat = format.tag == 3;
    if (sampleBytes == 4 && options.samples != "int") {
        isFloat = options.samples == "float" || isFloat || LooksLikeFloat(data, frames * format.channels);
    }
    std::printf("file=%s\nrate=%u\nchannels=%u\nbits=%u\nheader_tag=%u\nheader_data_bytes=%u\nsamples=%s\n",
                path.c_str(), format.rate, format.channels, format.bits, format.tag, format.dataLength,
                isFloat ? "float" : "int");

    // Every channel as floats in [-1, 1].
    std::vector<float> x(frames * format.channels);
    for (size_t i = 0; i < x.size(); ++i) {
        const uint8_t* p = data + i * sampleBytes;
        switch (sampleBytes) {
        case 1: x[i] = (p[0] - 128) / 128.0f; break;
        case 2: x[i] = static_cast<int16_t>(Le16(p)) / 32768.0f; break;
        case 3: {
            const uint32_t bits = p[0] << 8 | p[1] << 16 | static_cast<uint32_t>(p[2]) << 24;
            x[i] = static_cast<float>(static_cast<int32_t>(bits) / 2147483648.0);
            break;
        }
        default:
            if (isFloat) {
                const uint32_t bits = Le32(p);
                std::memcpy(&x[i], &bits, 4);
            } else {
                x[i] = static_cast<float>(static_cast<int32_t>(Le32(p)) / 2147483648.0);
            }
        }
    }
    const auto frameAt = [&](size_t f, int c) { return x[f * format.channels + c]; };
    const auto frameMax = [&](size_t f) {
        float m = 0;
        for (int c = 0; c < format.channels; ++c) m = std::max(m, std::fabs(frameAt(f, c)));
        return m;
    };
    const double rate = format.rate;
    std::vector<std::string> failures;
    std::printf("duration_s=%.3f\n", frames / rate);

    float peak = 0;
    for (size_t f = 0; f < frames; ++f) peak = std::max(peak, frameMax(f));
    size_t firstSound = frames;
    for (size_t f = 0; f < frames && firstSound == frames; ++f) {
        if (frameMax(f) != 0) firstSound = f;
    }
    if (firstSound == frames || peak < 1e-3f) {
        std::printf("sounding_s=0\nresult=fail\nfailures=no-sound\n");
        return 1;
    }
    // The sounding part runs from the first to the last frame above a
    // hundredth of the peak; anything quieter inside it is a gap.
    const float quiet = peak / 100;
    size_t begin = firstSound, end = frames;
    while (frameMax(begin) < quiet) ++begin;
    while (frameMax(end - 1) < quiet) --end;
    std::printf("first_sound_s=%.4f\nsounding_from_s=%.4f\nsounding_to_s=%.4f\nsounding_s=%.3f\npeak=%.4f\n",
                firstSound / rate, begin / rate, end / rate, (end - begin) / rate, peak);
    if ((end - begin) / rate < options.minSound) failures.push_back("short-sound");
    if (options.maxFirstSound >= 0 && firstSound / rate > options.maxFirstSound) failures.push_back("late-first-sound");

    std::vector<Run> runs;
    const size_t minRun = static_cast<size_t>(options.gapMs * rate / 1000);
    for (size_t f = begin; f < end;) {
        if (frameMax(f) >= quiet) {
            ++f;
            continue;
        }
        Run run{f, 0, true};
        for (; f < end && frameMax(f) < quiet; ++f, ++run.length) run.exactZero = run.exactZero && frameMax(f) == 0;
        if (run.length >= std::max<size_t>(minRun, 1)) runs.push_back(run);
    }
    size_t zeroRuns = 0, quietRuns = 0;
    double zeroMs = 0, longestZeroMs = 0;
    for (const Run& run : runs) {
        const double ms = run.length * 1000 / rate;
        if (run.exactZero) {
            ++zeroRuns;
            zeroMs += ms;
            longestZeroMs = std::max(longestZeroMs, ms);
        } else {
            ++quietRuns;
        }
        if (&run - runs.data() < 8) {
            std::printf("gap_at_s=%.4f %s %.2f ms\n", run.start / rate, run.exactZero ? "zeros" : "quiet", ms);
        }
    }
    std::printf("zero_runs=%zu\nzero_runs_ms=%.1f\nzero_run_longest_ms=%.2f\nquiet_runs=%zu\n", zeroRuns, zeroMs,
                longestZeroMs, quietRuns);
    if (quietRuns > 0) failures.push_back("quiet-gaps");
    if (zeroRuns > 0 && !options.allowZeroRuns) failures.push_back("zero-gaps");

    // Frequency from the rising zero crossings of the first channel (with a
    // tenth of the peak as hysteresis), interpolated between samples. Periods
    // broken by a gap are left out: those far from the median.
    std::vector<double> crossings;
    bool armed = false;
    for (size_t f = begin + 1; f < end; ++f) {
        const float a = frameAt(f - 1, 0), b = frameAt(f, 0);
        if (b < -peak / 10) armed = true;
        if (armed && a < 0 && b >= 0) {
            crossings.push_back(static_cast<double>(f - 1) + a / (a - b));
            armed = false;
        }
    }
    std::vector<double> periods;
    for (size_t i = 1; i < crossings.size(); ++i) periods.push_back(crossings[i] - crossings[i - 1]);
    double frequency = 0;
    size_t used = 0;
    if (periods.size() >= 4) {
        std::vector<double> sorted = periods;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        double sum = 0;
        for (const double p : periods) {
            if (p > median * 0.75 && p < median * 1.25) {
                sum += p;
                ++used;
            }
        }
        frequency = used * rate / sum;
    }
    const double error = 100 * (frequency - options.frequency) / options.frequency;
    std::printf("frequency_hz=%.3f\nexpected_hz=%.3f\nfrequency_error_percent=%.3f\nperiods_used=%zu\n"
                "periods_left_out=%zu\n",
                frequency, options.frequency, error, used, periods.size() - used);
    if (std::fabs(error) > 1.0) failures.push_back("frequency");

    // Jumps: steps between neighbouring samples well beyond what a sine of
    // this peak and frequency can take. Not counted: the edges of gaps, and
    // the first and last 2 ms, where the sound may begin mid-wave (a voice
    // going on across SPUclose and SPUopen) or be cut off.
    const double maxStep = 2 * std::numbers::pi * options.frequency / rate * peak;
    const size_t edge = static_cast<size_t>(rate / 500);
    size_t jumps = 0;
    double firstJump = -1;
    for (size_t f = begin + edge + 1; f + edge < end; ++f) {
        if (frameMax(f) == 0 || frameMax(f - 1) == 0) continue;
        for (int c = 0; c < format.channels; ++c) {
            if (std::fabs(frameAt(f, c) - frameAt(f - 1, c)) > 1.5 * maxStep + peak / 50) {
                if (jumps++ == 0) firstJump = f / rate;
                break;
            }
        }
    }
    std::printf("jumps=%zu\n", jumps);
    if (jumps > 0) std::printf("first_jump_s=%.4f\n", firstJump);
    if (jumps > 0 && !options.allowGlitches) failures.push_back("jumps");

    std::string list;
    for (const std::string& f : failures) list += (list.empty() ? "" : ",") + f;
    std::printf("result=%s\n", failures.empty() ? "ok" : "fail");
    if (!failures.empty()) std::printf("failures=%s\n", list.c_str());
    return failures.empty() ? 0 : 1;
}

// ---------------------------------------------------------------- pacing

std::atomic<bool> stopRequested{false};
void RequestStop(int) { stopRequested = true; }

struct Stream {
    std::string file;
    double startMs = 0;       // first data byte read
    double firstSoundMs = -1; // when the first non-zero data byte plays
    double endMs = 0;
    uint64_t bytes = 0;
    uint32_t byteRate = 0;
    int underruns = 0;
    double underrunMs = 0;
    size_t largestBacklog = 0; // the most bytes found waiting at one tick
};

std::string StreamFile(const std::string& out, int index) {
    if (index == 1) return out;
    const size_t dot = out.rfind('.');
    const size_t slash = out.rfind('/');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string base = hasExtension ? out.substr(0, dot) : out;
    return base + "-" + std::to_string(index) + (hasExtension ? out.substr(dot) : "");
}

// One stream, from the writer's open to its close (or the stop request),
// consumed at the header's byte rate in 1 ms ticks. Like a card, the reader
// has a little buffer of its own, kSlackMs: data that comes up to that late
// still plays in time (the file plugin writes in bursts, and a writer blocked
// on a full pipe needs a moment to wake). Later than that is an underrun: the
// card plays silence, and the schedule moves on without making up the time.
constexpr double kSlackMs = 10;

bool PaceStream(int fd, Stream& stream) {
    std::FILE* out = std::fopen(stream.file.c_str(), "wb");
    if (out == nullptr) return false;
    std::vector<uint8_t> header;
    WavFormat format;
    uint8_t buffer[1 << 16];
    double origin = 0;    // data byte n is due at origin + n / rate, and plays kSlackMs later
    uint64_t played = 0;  // data bytes consumed
    bool ended = false, short_ = false;
    timespec tick{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    while (!ended && !stopRequested) {
        double due = 0;
        size_t want;
        if (format.dataOffset != 0) {
            due = (NowMs() - origin) * stream.byteRate / 1000;
            want = due > played ? std::min<size_t>(sizeof buffer, static_cast<size_t>(due - played)) : 0;
            want -= want % format.blockAlign;
        } else {
            // The shortest WAV header, then byte by byte up to "data".
            want = header.empty() ? 44 : 1;
        }
        size_t got = 0;
        while (got < want) {
            const ssize_t n = read(fd, buffer + got, want - got);
            if (n > 0) {
                got += static_cast<size_t>(n);
                continue;
            }
            if (n == 0) ended = true;  // the writer closed
            if (n < 0 && errno == EINTR) continue;
            break;
        }
        if (format.dataOffset == 0) {
            header.insert(header.end(), buffer, buffer + got);
            std::fwrite(buffer, 1, got, out);
            bool bad = false;
            if (ParseHeader(header.data(), header.size(), format, bad)) {
                stream.byteRate = format.byteRate;
                if (format.blockAlign == 0) format.blockAlign = 1;
                origin = NowMs();
                stream.startMs = origin;
                clock_gettime(CLOCK_MONOTONIC, &tick);
            } else if (bad || header.size() > 4096) {
                std::fclose(out);
                return false;
            } else if (got == 0 && !ended) {
                pollfd p{fd, POLLIN, 0};
                poll(&p, 1, 10);
            }
            continue;
        }
        if (got > 0) {
            std::fwrite(buffer, 1, got, out);
            for (size_t i = 0; i < got && stream.firstSoundMs < 0; ++i) {
                if (buffer[i] != 0) stream.firstSoundMs = origin + (played + i) * 1000.0 / stream.byteRate + kSlackMs;
            }
            played += got;
        }
        // Behind by more than the slack: silence plays meanwhile. Before the
        // first data that is just the wait for the stream to begin.
        const double behindMs = (due - played) * 1000 / stream.byteRate - kSlackMs;
        if (!ended && behindMs > 0) {
            origin += behindMs;
            if (played > 0) {
                stream.underruns += short_ ? 0 : 1;
                stream.underrunMs += behindMs;
            }
        }
        short_ = !ended && behindMs > 0;
        int waiting = 0;
        // What else is waiting already shows how far ahead the writer is.
        if (!ended && ioctl(fd, FIONREAD, &waiting) == 0) {
            stream.largestBacklog = std::max(stream.largestBacklog, static_cast<size_t>(waiting));
        }
        tick.tv_nsec += 1000000;
        if (tick.tv_nsec >= 1000000000) {
            tick.tv_nsec -= 1000000000;
            ++tick.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
    }
    stream.endMs = NowMs();
    stream.bytes = played;
    std::fclose(out);
    return true;
}

int Pace(const std::string& fifo, const std::string& out, int pipeSize) {
    struct sigaction action{};
    action.sa_handler = RequestStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::vector<Stream> streams;
    int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(fifo.c_str());
        return 1;
    }
    const int actualPipe = fcntl(fd, F_SETPIPE_SZ, pipeSize);
    std::printf("pipe_bytes=%d\n", actualPipe > 0 ? actualPipe : fcntl(fd, F_GETPIPE_SZ));
    std::fflush(stdout);
    while (!stopRequested) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
            if (p.revents & POLLHUP) {
                // The last writer is gone: a fresh open waits for the next
                // one (opened before the old is closed, so a writer never
                // finds the FIFO without a reader).
                const int next = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                close(fd);
                fd = next;
            }
            continue;
        }
        Stream stream;
        stream.file = StreamFile(out, static_cast<int>(streams.size()) + 1);
        if (!PaceStream(fd, stream)) {
            std::fprintf(stderr, "capture_check: stream %zu is not a WAV stream\n", streams.size() + 1);
            return 1;
        }
        if (stream.bytes > 0) {
            streams.push_back(stream);
        } else {
            std::remove(stream.file.c_str());
        }
    }
    close(fd);
    std::printf("streams=%zu\n", streams.size());
    for (size_t i = 0; i < streams.size(); ++i) {
        const Stream& s = streams[i];
        const std::string k = "stream" + std::to_string(i + 1) + "_";
        std::printf("%sfile=%s\n%sstart_clock_ms=%.1f\n%sfirst_sound_clock_ms=%.1f\n%send_clock_ms=%.1f\n"
                    "%sbytes=%llu\n%sbyte_rate=%u\n%sunderruns=%d\n%sunderrun_ms=%.1f\n%slargest_backlog_bytes=%zu\n",
                    k.c_str(), s.file.c_str(), k.c_str(), s.startMs, k.c_str(), s.firstSoundMs, k.c_str(), s.endMs,
                    k.c_str(), static_cast<unsigned long long>(s.bytes), k.c_str(), s.byteRate, k.c_str(),
                    s.underruns, k.c_str(), s.underrunMs, k.c_str(), s.largestBacklog);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto value = [&](size_t& i) {
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "capture_check: %s needs a value\n", args[i].c_str());
            std::exit(2);
        }
        return args[++i];
    };
    if (!args.empty() && args[0] == "--pace") {
        if (args.size() < 3) {
            std::fprintf(stderr, "usage: capture_check --pace FIFO OUT [--pipe-size BYTES]\n");
            return 2;
        }
        int pipeSize = 4096;
        for (size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "--pipe-size") pipeSize = std::atoi(value(i).c_str());
        }
        return Pace(args[1], args[2], pipeSize);
    }
    CheckOptions options;
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--freq") options.frequency = std::atof(value(i).c_str());
        else if (a == "--samples") options.samples = value(i);
        else if (a == "--gap-ms") options.gapMs = std::atof(value(i).c_str());
        else if (a == "--allow-zero-runs") options.allowZeroRuns = true;
        else if (a == "--allow-glitches") options.allowGlitches = true;
        else if (a == "--min-sound") options.minSound = std::atof(value(i).c_str());
        else if (a == "--max-first-sound") options.maxFirstSound = std::atof(value(i).c_str());
        else if (path.empty() && a[0] != '-') path = a;
        else {
            std::fprintf(stderr, "capture_check: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: capture_check FILE [options] | capture_check --pace FIFO OUT\n");
        return 2;
    }
    return Check(path, options);
}
