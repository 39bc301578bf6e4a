#include "spuhost/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>

#include "spuhost/OutputFile.h"
#include "spuhost/Text.h"

namespace spuhost {

namespace {

// Layout in pixels.
constexpr double kLeft = 80, kPlotWidth = 1100, kRight = 30, kTop = 56, kLane = 22, kBar = 16, kBottom = 40;

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

class Svg {
public:
    explicit Svg(const std::string& path) : file_(path) {}
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char line[1024];
        va_list arguments;
        va_start(arguments, format);
        const int length = std::vsnprintf(line, sizeof line, format, arguments);
        va_end(arguments);
        file_.Write(line, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
    }
    void Commit() { file_.Commit(); }

private:
    OutputFile file_;
};

// Semitones from the sample's own pitch (0x1000).
double Semitones(uint16_t pitch) { return 12 * std::log2(pitch / 4096.0); }

// Low notes blue, high notes red: hue 240 at four octaves down, 0 at two up.
int Hue(uint16_t pitch) {
    const double semitones = std::clamp(Semitones(pitch), -48.0, 24.0);
    return static_cast<int>(std::lround(240 - (semitones + 48) * 240 / 72));
}

// A step between time marks that gives at most about 16 of them.
double TickStep(double seconds) {
    static const double kSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600};
    for (const double step : kSteps) {
        if (seconds / step <= 16) return step;
    }
    return std::ceil(seconds / 16 / 3600) * 3600;
}

}  // namespace

void WriteTimeline(const std::string& path, const RegisterLogFile& log, const LogSummary& summary) {
    // Lanes for the voices that sound, in voice order.
    int lane[24];
    int lanes = 0;
    for (int v = 0; v < 24; ++v) {
        const bool sounds = std::any_of(summary.notes.begin(), summary.notes.end(),
                                        [&](const NoteSpan& note) { return note.voice == v; });
        lane[v] = sounds ? lanes++ : -1;
    }
    const double seconds = std::max(summary.endTime, 1u) / static_cast<double>(log.tickRate);
    const double width = kLeft + kPlotWidth + kRight, height = kTop + std::max(lanes, 1) * kLane + kBottom;
    const auto x = [&](uint32_t ticks) { return kLeft + kPlotWidth * ticks / log.tickRate / seconds; };

    Svg svg(path);
    svg.Add(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"11\">\n",
        width, height, width, height);
    svg.Add("<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    const std::string name = Escaped(std::filesystem::path(log.path).filename().string());
    svg.Add("<text x=\"%.0f\" y=\"20\" font-size=\"14\" font-weight=\"bold\">%s</text>\n", kLeft, name.c_str());
    svg.Add(
        "<text x=\"%.0f\" y=\"38\" fill=\"#555\">%s register writes over %s; a bar is a voice sounding from a "
        "key-on (dark edge) to a key-off or a change of pitch; colour: pitch, blue low, red high</text>\n",
        kLeft, Thousands(log.entries.size()).c_str(), Seconds(seconds).c_str());

    // Time marks and lane labels.
    const double step = TickStep(seconds);
    const double bottom = kTop + std::max(lanes, 1) * kLane;
    for (double t = 0; t <= seconds + 1e-9; t += step) {
        const double at = kLeft + kPlotWidth * t / seconds;
        svg.Add("<line x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\" stroke=\"#ddd\"/>\n", at, kTop, at, bottom);
        svg.Add("<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\" fill=\"#555\">%g s</text>\n", at, bottom + 16, t);
    }
    for (int v = 0; v < 24; ++v) {
        if (lane[v] < 0) continue;
        const double y = kTop + lane[v] * kLane;
        svg.Add("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"end\">voice %d</text>\n", kLeft - 8, y + 15, v);
        svg.Add("<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#eee\"/>\n", kLeft, y + kLane,
                kLeft + kPlotWidth, y + kLane);
    }

    // One bar per stretch of sound, its pitch in a tooltip and, where it
    // fits, written on it in semitones from 0x1000.
    for (const NoteSpan& note : summary.notes) {
        const double left = x(note.start), right = std::max(x(note.end), left + 1.5);
        const double y = kTop + lane[note.voice] * kLane + (kLane - kBar) / 2;
        const double semitones = note.pitch == 0 ? 0 : Semitones(note.pitch);
        const std::string colour = note.pitch == 0 ? "#999" : "hsl(" + std::to_string(Hue(note.pitch)) + ",70%,60%)";
        svg.Add("<rect x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.0f\" fill=\"%s\">", left, y, right - left, kBar,
                colour.c_str());
        svg.Add("<title>voice %d, %.3f-%.3f s, pitch 0x%04X (%+.2f semitones)</title></rect>\n", note.voice,
                note.start / static_cast<double>(log.tickRate), note.end / static_cast<double>(log.tickRate),
                note.pitch, semitones);
        if (note.keyedOn) {
            svg.Add("<rect x=\"%.2f\" y=\"%.1f\" width=\"1.5\" height=\"%.0f\" fill=\"#222\"/>\n", left, y, kBar);
        }
        if (right - left >= 34 && note.pitch != 0) {
            svg.Add("<text x=\"%.2f\" y=\"%.1f\" font-size=\"10\">%+.1f</text>\n", left + 4, y + 12, semitones);
        }
    }
    svg.Add("</svg>\n");
    svg.Commit();
}

}  // namespace spuhost
