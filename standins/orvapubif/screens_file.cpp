#include "screens_file.h"

#include <cerrno>
#include <cstdlib>
#include <set>

namespace orva_sim {
namespace {

constexpr std::size_t kMaxFillPattern = 8;

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    const auto first = s.find_first_not_of(ws);
    if (first == std::string::npos) return std::string();
    const auto last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

// Splits into lines that keep their terminators, so that edits preserve them.
std::vector<std::string> SplitKeepingEnds(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto nl = text.find('\n', start);
        const auto end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

bool ParseInt64(const std::string& value, long long& out) {
    if (value.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(value.c_str(), &end, 10);
    if (errno != 0 || end == value.c_str() || *end != '\0') return false;
    out = v;
    return true;
}

bool ParseInt32(const std::string& value, std::int32_t& out) {
    long long v = 0;
    if (!ParseInt64(value, v) || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool ParseBool(const std::string& value, bool& out) {
    if (value == "0") { out = false; return true; }
    if (value == "1") { out = true; return true; }
    return false;
}

bool ParseCounter(const std::string& value, std::int32_t& out) {
    if (value == "always") { out = kAlways; return true; }
    std::int32_t v = 0;
    if (!ParseInt32(value, v) || v < 0) return false;
    out = v;
    return true;
}

bool ParseMouseMode(const std::string& value, std::uint16_t& out) {
    std::int32_t v = 0;
    if (!ParseInt32(value, v) || v < 0 || v > 0xFFFF) return false;
    out = static_cast<std::uint16_t>(v);
    return true;
}

bool ParseBeep(const std::string& value, BeepValues& out) {
    std::int32_t v[4] = {};
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const auto first = value.find_first_not_of(" \t", pos);
        if (first == std::string::npos) return false;
        const auto last = value.find_first_of(" \t", first);
        const std::string token = value.substr(first, last == std::string::npos ? std::string::npos : last - first);
        if (!ParseInt32(token, v[i])) return false;
        pos = last == std::string::npos ? value.size() : last;
    }
    if (value.find_first_not_of(" \t", pos) != std::string::npos) return false;
    out = BeepValues{v[0], v[1], v[2], v[3]};
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex digit pairs, blanks allowed between the pairs.
bool ParseHexList(const std::string& text, std::vector<std::uint8_t>& out) {
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t') { ++i; continue; }
        if (i + 1 >= text.size()) return false;
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

void AppendHex(std::string& out, std::uint8_t b) {
    const char* digits = "0123456789abcdef";
    out += digits[b >> 4];
    out += digits[b & 0x0F];
}

// "[screen N]" gives N; anything else is not a screen header.
bool ParseSectionHeader(const std::string& trimmed, long long& index) {
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
    const std::string inner = Trim(trimmed.substr(1, trimmed.size() - 2));
    const std::string word = "screen";
    if (inner.compare(0, word.size(), word) != 0 || inner.size() <= word.size()) return false;
    if (inner[word.size()] != ' ' && inner[word.size()] != '\t') return false;
    return ParseInt64(Trim(inner.substr(word.size())), index);
}

template <std::size_t N>
bool ParseBlock(const std::string& value, std::array<std::uint8_t, N>& block) {
    return ParseBytesValue(value, block.data(), N);
}

// Applies one key of a screen section; returns the error text, empty on success.
std::string ApplyScreenKey(SimScreen& s, const std::string& key, const std::string& value) {
    bool ok = false;
    if (key == "connectionType") ok = ParseInt32(value, s.connectionType);
    else if (key == "diagnosticsFails") ok = ParseBool(value, s.diagnosticsFails);
    else if (key == "sendFailures") ok = ParseCounter(value, s.sendFailures);
    else if (key == "responseFailures") ok = ParseCounter(value, s.responseFailures);
    else if (key == "uS") ok = ParseBlock(value, s.uS);
    else if (key == "uC") ok = ParseBlock(value, s.uC);
    else if (key == "uN") ok = ParseBlock(value, s.uN);
    else if (key == "touchBoundary") ok = ParseBlock(value, s.touchBoundary);
    else if (key == "beep") ok = ParseBeep(value, s.beep);
    else if (key == "dragDelay") ok = ParseBlock(value, s.dragDelay);
    else if (key == "rightClickOnHold") ok = ParseBlock(value, s.rightClickOnHold);
    else if (key == "calibration") ok = ParseBlock(value, s.calibration);
    else if (key == "mouseMode") ok = ParseMouseMode(value, s.mouseMode);
    else return "unknown key '" + key + "'";
    return ok ? std::string() : "bad value for '" + key + "'";
}

}  // namespace

bool ParseBytesValue(const std::string& value, std::uint8_t* bytes, std::size_t size) {
    std::vector<std::uint8_t> parsed;
    const std::string fill = "fill";
    if (value.compare(0, fill.size(), fill) == 0) {
        if (!ParseHexList(value.substr(fill.size()), parsed) || parsed.empty() || parsed.size() > size)
            return false;
        for (std::size_t i = 0; i < size; ++i) bytes[i] = parsed[i % parsed.size()];
        return true;
    }
    if (!ParseHexList(value, parsed) || parsed.size() != size) return false;
    for (std::size_t i = 0; i < size; ++i) bytes[i] = parsed[i];
    return true;
}

std::string FormatBytesValue(const std::uint8_t* bytes, std::size_t size) {
    // A short pattern repeated whole keeps a 1188-byte block on a readable line.
    std::size_t period = size;
    for (std::size_t p = 1; p <= kMaxFillPattern && p < size; ++p) {
        if (size % p != 0) continue;
        bool repeats = true;
        for (std::size_t i = p; i < size && repeats; ++i) repeats = bytes[i] == bytes[i % p];
        if (repeats) { period = p; break; }
    }
    std::string out = period < size ? "fill" : "";
    for (std::size_t i = 0; i < period; ++i) {
        if (!out.empty()) out += ' ';
        AppendHex(out, bytes[i]);
    }
    return out;
}

std::string FormatBeepValue(const BeepValues& beep) {
    return std::to_string(beep.beeperFunction) + " " + std::to_string(beep.beeperFrequency) + " " +
           std::to_string(beep.beeperDuration) + " " + std::to_string(beep.beeperRouting);
}

std::string FormatCounterValue(std::int32_t counter) {
    return counter == kAlways ? std::string("always") : std::to_string(counter);
}

ParseResult ParseScreensFile(const std::string& text) {
    ParseResult result;
    std::set<std::string> seen;
    const auto lines = SplitKeepingEnds(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string t = Trim(lines[n]);
        auto fail = [&](const std::string& why) {
            result.errorLine = static_cast<int>(n + 1);
            result.error = why;
            return result;
        };
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            long long index = 0;
            if (!ParseSectionHeader(t, index)) return fail("expected a section header '[screen N]'");
            if (index != static_cast<long long>(result.model.screens.size()))
                return fail("screens must be numbered 0, 1, 2, ... in order");
            result.model.screens.emplace_back();
            seen.clear();
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos) return fail("expected key=value");
        const std::string key = Trim(t.substr(0, eq));
        const std::string value = Trim(t.substr(eq + 1));
        if (!seen.insert(key).second) return fail("duplicate key '" + key + "'");
        if (result.model.screens.empty()) {
            if (key != "screenInfoFails") return fail("unknown key '" + key + "' before the first [screen N]");
            if (!ParseBool(value, result.model.screenInfoFails)) return fail("bad value for 'screenInfoFails'");
            continue;
        }
        const std::string error = ApplyScreenKey(result.model.screens.back(), key, value);
        if (!error.empty()) return fail(error);
    }
    result.ok = true;
    return result;
}

bool SetScreenValue(std::string& text, std::int32_t screenIndex, const std::string& key, const std::string& value) {
    auto lines = SplitKeepingEnds(text);
    const std::string newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::size_t header = lines.size();
    std::size_t end = lines.size();
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string t = Trim(lines[n]);
        long long index = 0;
        if (t.empty() || t[0] != '[' || !ParseSectionHeader(t, index)) continue;
        if (header != lines.size()) { end = n; break; }
        if (index == screenIndex) header = n;
    }
    if (header == lines.size()) return false;

    std::size_t lastEntry = header;
    for (std::size_t n = header + 1; n < end; ++n) {
        const std::string t = Trim(lines[n]);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        lastEntry = n;
        if (Trim(t.substr(0, eq)) != key) continue;
        const std::string& old = lines[n];
        const std::string ending = old.size() >= 2 && old.compare(old.size() - 2, 2, "\r\n") == 0 ? "\r\n"
                                   : !old.empty() && old.back() == '\n'                          ? "\n"
                                                                                                  : "";
        lines[n] = key + "=" + value + ending;
        text.clear();
        for (const auto& l : lines) text += l;
        return true;
    }
    if (lines[lastEntry].empty() || lines[lastEntry].back() != '\n') lines[lastEntry] += newline;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), key + "=" + value + newline);
    text.clear();
    for (const auto& l : lines) text += l;
    return true;
}

}  // namespace orva_sim
