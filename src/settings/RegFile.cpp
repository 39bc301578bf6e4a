#include "settings/RegFile.h"

#include <cctype>

namespace zarn {

namespace {

constexpr size_t npos = std::string::npos;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

// "[key]" gives key; anything else gives nothing.
std::optional<std::string_view> HeaderKey(std::string_view logical) {
    const std::string_view line = Trim(logical);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
    return line.substr(1, line.size() - 2);
}

// Splits '"name"=data' into its unescaped name and its data.
bool SplitValue(std::string_view logical, std::string& name, std::string_view& data) {
    const std::string_view line = Trim(logical);
    if (line.empty() || line.front() != '"') return false;
    name.clear();
    size_t i = 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        name.push_back(line[i]);
    }
    if (i >= line.size()) return false;
    const std::string_view rest = Trim(line.substr(i + 1));
    if (rest.empty() || rest.front() != '=') return false;
    data = Trim(rest.substr(1));
    return true;
}

bool ParseHexNumber(std::string_view text, uint32_t limit, uint32_t& value) {
    text = Trim(text);
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        const int lower = std::tolower(static_cast<unsigned char>(c));
        value = value * 16 + static_cast<uint32_t>(std::isdigit(lower) ? lower - '0' : lower - 'a' + 10);
    }
    return value <= limit;
}

std::optional<uint32_t> ParseFourBytes(std::string_view data) {
    if (StartsWithNoCase(data, "dword:")) {
        uint32_t value;
        if (ParseHexNumber(data.substr(6), 0xFFFFFFFF, value)) return value;
        return std::nullopt;
    }
    // hex: or hex(type): followed by comma-separated bytes.
    if (!StartsWithNoCase(data, "hex")) return std::nullopt;
    const size_t colon = data.find(':');
    if (colon == npos) return std::nullopt;
    const std::string_view type = data.substr(3, colon - 3);
    if (!type.empty() && (type.front() != '(' || type.back() != ')')) return std::nullopt;
    std::string_view bytes = data.substr(colon + 1);
    uint32_t value = 0;
    int count = 0;
    while (!Trim(bytes).empty()) {
        const size_t comma = bytes.find(',');
        uint32_t byte;
        if (!ParseHexNumber(bytes.substr(0, comma), 0xFF, byte) || count == 4) return std::nullopt;
        value |= byte << (8 * count++);
        if (comma == npos) break;
        bytes.remove_prefix(comma + 1);
    }
    if (count != 4) return std::nullopt;
    return value;
}

std::string DwordLine(std::string_view name, uint32_t value) {
    static const char kDigits[] = "0123456789abcdef";
    std::string line = "\"";
    for (const char c : name) {
        if (c == '"' || c == '\\') line.push_back('\\');
        line.push_back(c);
    }
    line += "\"=dword:";
    for (int shift = 28; shift >= 0; shift -= 4) line.push_back(kDigits[(value >> shift) & 0xF]);
    return line;
}

}  // namespace

RegFile::RegFile(std::string_view text) {
    Line current;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view physical = text.substr(0, end);
        text.remove_prefix(end == npos ? text.size() : end + 1);
        if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);

        if (!current.raw.empty() || !current.logical.empty()) current.raw += '\n';
        current.raw += physical;
        // The mark is the last character before any trailing blanks: a stray
        // carriage return after it (a line ending in a backslash and "\r\r\n")
        // would otherwise hide it here, yet not once the text is written back
        // with plain line ends.
        std::string_view part = Trim(physical);
        const bool continues = !part.empty() && part.back() == '\\';
        if (continues) part.remove_suffix(1);
        current.logical += Trim(part);
        if (!continues) {
            lines_.push_back(std::move(current));
            current = Line{};
        }
    }
    // A continuation mark on the last line has no line to join: it is ended
    // here, or a value or key written after it would join it and be lost.
    if (!current.raw.empty()) {
        current.raw += '\n';
        lines_.push_back(std::move(current));
    }
}

size_t RegFile::FindKey(std::string_view key) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto header = HeaderKey(lines_[i].logical);
        if (header && EqualNoCase(*header, key)) return i;
    }
    return npos;
}

size_t RegFile::KeyEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && !HeaderKey(lines_[i].logical)) ++i;
    return i;
}

size_t RegFile::FindValue(size_t header, std::string_view name) const {
    const size_t end = KeyEnd(header);
    std::string valueName;
    std::string_view data;
    for (size_t i = header + 1; i < end; ++i) {
        if (SplitValue(lines_[i].logical, valueName, data) && EqualNoCase(valueName, name)) return i;
    }
    return npos;
}

bool RegFile::HasKey(std::string_view key) const { return FindKey(key) != npos; }

void RegFile::AddKey(std::string_view key) {
    if (HasKey(key)) return;
    if (lines_.empty() || !StartsWithNoCase(Trim(lines_.front().logical), "REGEDIT4")) {
        lines_.insert(lines_.begin(), {Line{"REGEDIT4", "REGEDIT4"}, Line{"", ""}});
    }
    if (!Trim(lines_.back().logical).empty()) lines_.push_back({"", ""});
    const std::string header = "[" + std::string(key) + "]";
    lines_.push_back({header, header});
}

std::optional<uint32_t> RegFile::ReadValue(std::string_view key, std::string_view name) const {
    const size_t header = FindKey(key);
    if (header == npos) return std::nullopt;
    const size_t at = FindValue(header, name);
    if (at == npos) return std::nullopt;
    std::string valueName;
    std::string_view data;
    SplitValue(lines_[at].logical, valueName, data);
    return ParseFourBytes(data);
}

void RegFile::WriteDword(std::string_view key, std::string_view name, uint32_t value) {
    AddKey(key);
    const size_t header = FindKey(key);
    const std::string line = DwordLine(name, value);
    const size_t at = FindValue(header, name);
    if (at != npos) {
        lines_[at] = {line, line};
        return;
    }
    // After the key's last non-blank line, so a blank line before the next key stays.
    size_t insert = KeyEnd(header);
    while (insert > header + 1 && Trim(lines_[insert - 1].logical).empty()) --insert;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert), Line{line, line});
}

std::string RegFile::Text() const {
    std::string text;
    for (const Line& line : lines_) {
        text += line.raw;
        text += '\n';
    }
    return text;
}

}  // namespace zarn
