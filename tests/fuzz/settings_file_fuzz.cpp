// Arbitrary settings files, keys and values. Input layout:
//   options byte, key, NUL, value text, NUL, file content (the rest).
// Option bits: 0-2 read size limit (0 = none, else 1 << n bytes per call),
// 3-5 format code (1 to 5: -1 to -5; 0: 0, 6: -6, 7: 7), 6 a second rewrite, 7 the batch
// check: the key split at "|" into several keys.
// Checks beside the sanitizers: every lookup, rewrite and batch gives exactly what
// the model of the line rules (tests/detector/line_rules_model.h) gives for the same file.
#include "fake_file_access.h"
#include "line_rules_model.h"
#include "settings_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kPath[] = "C:\\Orva\\PANELSET.TXT";
constexpr std::size_t kTextSize = SettingsFile::kTextSize;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

bool TakeText(const std::uint8_t*& data, std::size_t& size, std::string* out) {
    const void* nul = std::memchr(data, 0, size);
    if (nul == nullptr) return false;
    const std::size_t length = static_cast<const std::uint8_t*>(nul) - data;
    out->assign(reinterpret_cast<const char*>(data), length);
    data += length + 1;
    size -= length + 1;
    return true;
}

bool IsUsableKey(const std::string& key) { return !key.empty() && key.size() < kTextSize; }

// A lookup: 0 with the value text of the first line holding key, the bytes after
// the first token's "="s up to the next "=" or the line's end; -2 when that text
// is empty or would not fit valueText, or no line holds the key.
int LookedUp(const std::string& content, const std::string& key, std::string* text) {
    if (!IsUsableKey(key)) return kSettingsNotFound;
    for (const ModelLine& model : ModelLines(content, key)) {
        if (!model.holdsKey) continue;
        const std::string& line = model.text;
        std::size_t at = 0;
        while (at < line.size() && line[at] == '=') ++at;
        while (at < line.size() && line[at] != '=') ++at;
        while (at < line.size() && line[at] == '=') ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != '=') ++end;
        *text = line.substr(at, end - at);
        return !text->empty() && text->size() < kTextSize ? kSettingsOk : kSettingsNotFound;
    }
    return kSettingsNotFound;
}

int DigitOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// The number in a C string, digit by digit: blanks, a sign, "0x" before a hex digit
// in base 16, then digits; a magnitude beyond 32 bits gives the largest value, and
// "-" negates modulo 2^32.
std::uint32_t NumberOf(const char* text, int base) {
    while (*text != '\0' && std::strchr(" \t\n\v\f\r", *text) != nullptr) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && DigitOf(text[2]) < 16) text += 2;
    std::uint64_t magnitude = 0;
    for (; DigitOf(*text) < base; ++text) {
        magnitude = magnitude * base + DigitOf(*text);
        if (magnitude > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    const std::uint32_t number = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - number : number;
}

// The text SetValue writes for a number: signed decimal, or lowercase hex of at
// least four or eight digits.
std::string TextOf(std::uint32_t number, int format) {
    if (format == kFormatDecimal || format == kFormatSigned) return std::to_string(static_cast<std::int32_t>(number));
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdef"[number % 16]);
        number /= 16;
    } while (number != 0);
    const std::size_t width = format == kFormatHex4 ? 4 : 8;
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

bool HoldsText(const char* buffer, const std::string& text) {
    return std::memcmp(buffer, text.data(), text.size()) == 0 && buffer[text.size()] == '\0';
}

// GetValue against the rules for content, the file as it stands.
void CheckLookup(SettingsFile& settings, const std::string& content, const std::string& key, int format) {
    std::memset(settings.valueText, 0x55, sizeof settings.valueText);
    settings.value.number = 0x5EED5EEDu;
    const bool found = settings.GetValue(key.c_str(), format);
    std::string text;
    const int located = LookedUp(content, key, &text);
    const bool known = format >= kFormatHex4 && format <= kFormatText;
    const int expected = located == kSettingsOk && !known ? kSettingsNotFound : located;
    if (settings.status != expected || found != (expected == kSettingsOk)) Fail("lookup result");
    if (located == kSettingsOk) {
        if (!HoldsText(settings.valueText, text)) Fail("lookup valueText");
    } else if (std::any_of(settings.valueText, settings.valueText + kTextSize, [](char c) { return c != 0x55; })) {
        Fail("valueText written without a find");
    }
    if (expected != kSettingsOk) {
        if (settings.value.number != 0x5EED5EEDu) Fail("value written without a find");
    } else if (format == kFormatText) {
        if (!HoldsText(settings.value.text, text)) Fail("lookup text");
    } else if (settings.value.number != NumberOf(text.c_str(), format <= kFormatHex8 ? 16 : 10)) {
        Fail("lookup number");
    }
}

// A rewrite of before for key and text against the rules.
void CheckRewrite(const std::string& before, const std::string& after, const std::string& key,
                  const std::string& text, bool replaced, int status) {
    std::string expected = before;
    int expectedStatus = kSettingsNotFound;
    if (IsUsableKey(key)) {
        bool any = false;
        expected = ModelRewrite(before, key, text, &any);
        expectedStatus = any ? kSettingsOk : kSettingsNotFound;
        if (expected.size() > SettingsFile::kMaxFileSize) {
            expected = before;
            expectedStatus = kSettingsNoFile;
        }
    }
    if (after != expected) Fail("rewritten file");
    if (status != expectedStatus || replaced != (expectedStatus == kSettingsOk)) Fail("rewrite result");
}

std::vector<std::string> SplitKeys(const std::string& keys) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = keys.find('|', start);
        result.push_back(keys.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos || result.size() == 12) return result;
        start = bar + 1;
    }
}

// SetValues against the rules applied for each key in turn, in one rewrite; a format
// other than -5 to -2 writes nothing and leaves valueText alone.
void CheckBatch(const std::string& content, const std::string& keyList, int format, std::uint32_t seed) {
    const bool numbers = format >= kFormatHex4 && format <= kFormatDecimal;
    const std::vector<std::string> keys = SplitKeys(keyList);
    std::vector<const char*> names;
    std::vector<std::uint32_t> values;
    std::string expected = content;
    std::vector<int> expectedResults;
    bool tooLarge = false;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        names.push_back(keys[i].c_str());
        values.push_back(seed * 2654435761u + static_cast<std::uint32_t>(i) * 40503u);
        bool replaced = false;
        if (numbers && IsUsableKey(keys[i]) && !tooLarge) {
            expected = ModelRewrite(expected, keys[i], TextOf(values[i], format), &replaced);
            tooLarge = expected.size() > SettingsFile::kMaxFileSize;
        }
        expectedResults.push_back(replaced ? kSettingsOk : kSettingsNotFound);
    }
    if (tooLarge) {
        // The rewrite fails as a whole: every usable key gives -1, the file stays.
        expected = content;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (IsUsableKey(keys[i])) expectedResults[i] = kSettingsNoFile;
        }
    }
    FakeFileAccess files;
    files.Put(kPath, content);
    SettingsFile batch(kPath, files);
    std::vector<int> results(keys.size(), 99);
    const std::size_t replaced =
        batch.SetValues(names.data(), values.data(), keys.size(), format, results.data());
    if (files.Content(kPath) != expected) Fail("batch file");
    if (results != expectedResults) Fail("batch results");
    if (replaced != static_cast<std::size_t>(std::count(results.begin(), results.end(), kSettingsOk))) {
        Fail("batch count");
    }
    if (batch.status != expectedResults.back()) Fail("batch status");
    if (batch.valueText != (numbers ? TextOf(values.back(), format) : "")) Fail("batch valueText");
    if (files.Snapshot().size() != 1) Fail("batch left a temporary file");
    if (files.Calls(FakeFileAccess::kReplace) != (expected == content ? 0 : 1)) Fail("batch rewrites");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t options = data[0];
    ++data;
    --size;
    std::string key, text;
    if (!TakeText(data, size, &key) || !TakeText(data, size, &text)) return 0;
    const std::string content(reinterpret_cast<const char*>(data), size);
    // -1 to -5, and the unknown codes on either side of them.
    const int kFormats[8] = {0, -1, -2, -3, -4, -5, -6, 7};
    const int format = kFormats[(options >> 3) & 7];
    if (options & 0x80) {
        CheckBatch(content, key, format, static_cast<std::uint32_t>(text.size()) + options);
        return 0;
    }

    FakeFileAccess files;
    files.Put(kPath, content);
    if ((options & 7) != 0) files.LimitReads(std::size_t{1} << (options & 7));
    SettingsFile settings(kPath, files);
    if (settings.GetStatus() != 0) Fail("open");

    CheckLookup(settings, content, key, format);
    if (files.Content(kPath) != content) Fail("lookup changed the file");

    // Rewrite with the value text as the text form (it fits when shorter than 256).
    if (text.size() >= kTextSize) text.resize(kTextSize - 1);
    std::memcpy(settings.value.text, text.c_str(), text.size() + 1);
    const bool replaced = settings.SetValue(key.c_str(), kFormatText);
    CheckRewrite(content, files.Content(kPath), key, text, replaced, settings.status);
    if (files.Snapshot().size() != 1) Fail("temporary file left");
    // The accessor reads what the file now holds.
    CheckLookup(settings, files.Content(kPath), key, format);

    if (options & 0x40) {
        const std::string before = files.Content(kPath);
        settings.value.number = 4294967295u;
        const bool again = settings.SetValue(key.c_str(), kFormatDecimal);
        CheckRewrite(before, files.Content(kPath), key, "-1", again, settings.status);
    }
    return 0;
}
