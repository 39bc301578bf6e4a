// capture_check: the listening end of the emulator test.
//
//   capture_check --segments FILE: each sounding segment of a WAV capture
//     (apart where it is quiet for 200 ms), its start and length, frequency,
//     level, gaps and jumps, as key=value lines; judges nothing.
//   capture_check --pace FIFO PREFIX: a sound card behind ALSA's file plugin.
//     Reads each stream written into FIFO at its header's byte rate into
//     PREFIX-1.wav, PREFIX-2.wav, ... (one without sound data is left out)
//     until SIGTERM or SIGINT, and prints the CLOCK_MONOTONIC_RAW time each
//     one's first non-zero byte played.
//
// Into a FIFO the file plugin writes a WAV header with length fields of 0
// (it cannot rewind to fill them in): the data runs to the end of the file.
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
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

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
           std::memcmp(h + 36, "data", 4) == 0 && wav.channels > 0 && wav.bits == 16 &&
           wav.blockAlign == wav.channels * wav.bits / 8 && wav.rate > 0 && wav.byteRate == wav.rate * wav.blockAlign;
}

// ---------------------------------------------------------------- measuring

// A capture mixed down to one channel, in [-1, 1].
struct Capture {
    std::vector<float> x;
    double rate = 0;
    float peak = 0;
};

// Reads a capture; false, with a message, when it is not a WAV file of 16-bit
// samples.
bool Load(const std::string& path, Capture& capture) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Wav wav;
    if (file.size() < kHeaderBytes || !ParseHeader(file.data(), wav)) {
        std::fprintf(stderr, "capture_check: %s: no WAV file of 16-bit samples\n", path.c_str());
        return false;
    }
    const size_t frames = (file.size() - kHeaderBytes) / wav.blockAlign;
    capture.x.assign(frames, 0);
    for (size_t f = 0; f < frames; ++f) {
        for (uint32_t c = 0; c < wav.channels; ++c) {
            const uint8_t* p = &file[kHeaderBytes + f * wav.blockAlign + 2 * c];
            capture.x[f] += static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0f / wav.channels;
        }
        capture.peak = std::max(capture.peak, std::fabs(capture.x[f]));
    }
    capture.rate = wav.rate;
    return true;
}

// What a sounding stretch holds. Gaps are runs of 2 ms or more quieter than
// a hundredth of the capture's peak.
struct Stretch {
    double frequency = 0;  // from the median period between rising zero crossings
    double level = 0;      // outside the gaps: the amplitude of a sine as loud, in 16-bit units
    int gaps = 0;
    double gapSeconds = 0;
    int jumps = 0;
};

// Measures [begin, end). Jumps are steps between neighbouring samples well
// beyond what a sine of this peak and `toneHz` can take. Not counted: the
// edges of gaps of zeros, and the first and last 2 ms, where the sound may
// begin mid-wave (a voice going on from a loaded state) or be cut off.
Stretch Measure(const Capture& c, size_t begin, size_t end, double toneHz) {
    const std::vector<float>& x = c.x;
    const float quiet = c.peak / 100;
    Stretch s;
    double power = 0;
    size_t heard = 0;
    for (size_t f = begin; f < end; ++f) {
        size_t length = 0;
        for (; f < end && std::fabs(x[f]) < quiet; ++f) ++length;
        if (length >= c.rate / 500) {
            ++s.gaps;
            s.gapSeconds += length / c.rate;
        } else {
            for (size_t g = f - length; g < f; ++g) power += x[g] * x[g];
            heard += length;
        }
        if (f < end) {
            power += x[f] * x[f];
            ++heard;
        }
    }
    s.level = heard > 0 ? std::sqrt(2 * power / heard) * 32768 : 0;

    // Zero crossings with a tenth of the peak as hysteresis, interpolated
    // between samples: periods broken by a gap do not count.
    std::vector<double> periods;
    double crossing = -1;
    bool armed = false;
    for (size_t f = begin + 1; f < end; ++f) {
        if (x[f] < -c.peak / 10) armed = true;
        if (armed && x[f - 1] < 0 && x[f] >= 0) {
            const double at = static_cast<double>(f - 1) + x[f - 1] / (x[f - 1] - x[f]);
            if (crossing >= 0) periods.push_back(at - crossing);
            crossing = at;
            armed = false;
        }
    }
    if (periods.size() >= 4) {
        std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
        s.frequency = c.rate / periods[periods.size() / 2];
    }

    const double maxStep = 1.5 * 2 * std::numbers::pi * toneHz / c.rate * c.peak + c.peak / 50;
    const size_t edge = static_cast<size_t>(c.rate / 500);
    for (size_t f = begin + edge + 1; f + edge < end; ++f) {
        if (x[f] != 0 && x[f - 1] != 0 && std::fabs(x[f] - x[f - 1]) > maxStep) ++s.jumps;
    }
    return s;
}

// The sounding segments, apart where the capture is quiet for 200 ms or
// more, each measured at its own frequency. Judging is the caller's.
int Segments(const std::string& path) {
    Capture c;
    if (!Load(path, c)) return 1;
    const float quiet = c.peak / 100;
    const size_t apart = static_cast<size_t>(c.rate / 5), frames = c.x.size();
    int count = 0;
    for (size_t f = 0; f < frames;) {
        while (f < frames && std::fabs(c.x[f]) < quiet) ++f;
        const size_t begin = f;
        for (size_t still = 0; f < frames && still < apart; ++f) still = std::fabs(c.x[f]) < quiet ? still + 1 : 0;
        size_t end = f;
        while (end > begin && std::fabs(c.x[end - 1]) < quiet) --end;
        if (end - begin < c.rate / 20) continue;  // a click, not a tone
        Stretch s = Measure(c, begin, end, 0);
        s = Measure(c, begin, end, s.frequency);
        const int n = ++count;
        const double seconds = (end - begin) / c.rate;
        std::printf("segment%d_from_s=%.3f\nsegment%d_seconds=%.3f\nsegment%d_hz=%.3f\nsegment%d_level=%.1f\n", n,
                    begin / c.rate, n, seconds, n, s.frequency, n, s.level);
        std::printf("segment%d_gaps=%d\nsegment%d_gap_percent=%.2f\nsegment%d_jumps=%d\n", n, s.gaps, n,
                    100 * s.gapSeconds / seconds, n, s.jumps);
    }
    std::printf("segments=%d\n", count);
    return 0;
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
    if (argc == 4 && std::strcmp(argv[1], "--pace") == 0) return Pace(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--segments") == 0) return Segments(argv[2]);
    std::fprintf(stderr, "usage: capture_check --segments FILE\n       capture_check --pace FIFO PREFIX\n");
    return 2;
}
