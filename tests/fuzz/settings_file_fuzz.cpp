// Arbitrary settings files, keys and values. Input layout:
//   options byte, key, NUL, value text, NUL, file content (the rest).
// Option bits: 0-2 read size limit (0 = none, else 1 << n bytes per call),
// 3-5 format code (-1 to -5, others unknown), 6 a second rewrite, 7 the batch
// check: the key split at "|" into several keys.
// Checks beside the sanitizers: lookups stay in their buffers, and a rewrite
// keeps every line that does not hold the key, in order and byte for byte (a lone
// LF becoming CR LF), replacing every one that does; a batch of keys gives exactly
// the bytes and per-key results of one SetValue per key in turn.
#include "fake_file_access.h"
#include "settings_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kPath[] = "C:\\Orva\\PANELSET.TXT";

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t lf = content.find('\n', start);
        std::size_t end = lf == std::string::npos ? content.size() : lf + 1;
        lines.push_back(content.substr(start, end - start));
        start = end;
    }
    return lines;
}

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

// What a rewrite must make of old content for key and the replacement text.
void CheckRewrite(const std::string& before, const std::string& after, const std::string& key,
                  const std::string& text, bool reportedReplace) {
    const std::vector<std::string> oldLines = SplitLines(before);
    const std::vector<std::string> newLines = SplitLines(after);
    const bool textHasLf = text.find('\n') != std::string::npos || key.find('\n') != std::string::npos;
    bool anyMatch = false;
    std::size_t next = 0;
    for (const std::string& line : oldLines) {
        const bool match = !key.empty() && key.size() < SettingsFile::kTextSize && line[0] != ';' &&
                           line.find(key) != std::string::npos;
        anyMatch = anyMatch || match;
        if (match) {
            if (textHasLf) return;  // the replacement spans lines: the line count no longer lines up
            const std::string replacement = key + "=" + text + "\r\n";
            if (next >= newLines.size() || newLines[next] != replacement) Fail("matching line not replaced");
        } else {
            const std::string kept = line == "\n" ? "\r\n" : line;
            if (next >= newLines.size() || newLines[next] != kept) Fail("line without the key changed");
        }
        ++next;
    }
    if (next != newLines.size()) Fail("lines added");
    if (anyMatch != reportedReplace) Fail("result does not say whether a line was replaced");
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

// SetValues against one SetValue per key, both from the same content.
void CheckBatch(const std::string& content, const std::string& keyList, int format, std::uint32_t seed) {
    const std::vector<std::string> keys = SplitKeys(keyList);
    std::vector<const char*> names;
    std::vector<std::uint32_t> numbers;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        names.push_back(keys[i].c_str());
        numbers.push_back(seed * 2654435761u + static_cast<std::uint32_t>(i) * 40503u);
    }
    FakeFileAccess single;
    single.Put(kPath, content);
    SettingsFile oneByOne(kPath, single);
    std::vector<int> expected;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        oneByOne.value.number = numbers[i];
        (void)oneByOne.SetValue(names[i], format);
        expected.push_back(oneByOne.status);
    }
    FakeFileAccess batched;
    batched.Put(kPath, content);
    SettingsFile batch(kPath, batched);
    std::vector<int> results(keys.size(), 99);
    (void)batch.SetValues(names.data(), numbers.data(), keys.size(), format, results.data());
    if (batched.Content(kPath) != single.Content(kPath)) Fail("batch bytes differ from one SetValue per key");
    if (results != expected) Fail("batch results differ from one SetValue per key");
    if (batch.status != oneByOne.status) Fail("batch status differs");
    if (batched.Snapshot().size() != 1) Fail("batch left a temporary file");
    if (batched.Calls(FakeFileAccess::kReplace) > 1) Fail("more than one rewrite for a batch");
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
    if (options & 0x80) {
        const int numberFormat = -2 - ((options >> 3) & 3);  // -2 to -5
        CheckBatch(content, key, numberFormat, static_cast<std::uint32_t>(text.size()) + options);
        return 0;
    }
    const int formatBits = (options >> 3) & 7;
    const int format = formatBits >= 1 && formatBits <= 5 ? -formatBits : 7;

    FakeFileAccess files;
    files.Put(kPath, content);
    if ((options & 7) != 0) files.LimitReads(std::size_t{1} << (options & 7));
    SettingsFile settings(kPath, files);
    if (settings.GetStatus() != 0) Fail("open");

    // Lookup: text stays inside valueText and the file is untouched.
    std::memset(settings.valueText, 0x55, sizeof settings.valueText);
    settings.value.number = 0;
    const bool found = settings.GetValue(key.c_str(), format);
    if (found || settings.status == 0) {
        if (std::memchr(settings.valueText, 0, sizeof settings.valueText) == nullptr) Fail("valueText unterminated");
    }
    if (files.Content(kPath) != content) Fail("lookup changed the file");

    // Rewrite with the value text as the text form (it fits when shorter than 256).
    if (text.size() >= SettingsFile::kTextSize) text.resize(SettingsFile::kTextSize - 1);
    std::memcpy(settings.value.text, text.c_str(), text.size() + 1);
    const bool replaced = settings.SetValue(key.c_str(), kFormatText);
    const std::string after = files.Content(kPath);
    if (key.empty() || key.size() >= SettingsFile::kTextSize) {
        if (after != content || replaced) Fail("unusable key touched the file");
    } else {
        if (settings.status == -1) Fail("rewrite failed without a fault");
        CheckRewrite(content, after, key, text, replaced);
    }
    if (files.Snapshot().size() != 1) Fail("temporary file left");

    // The accessor reads the new content: the replaced line gives the text back.
    // (A key holding CR or LF may also match the CR LF that empty lines became.)
    const bool plainKey = key.find_first_of("=\r\n") == std::string::npos && !key.empty() && key[0] != ';';
    const bool plainText = !text.empty() && text.find('=') == std::string::npos && text.find('\n') == std::string::npos;
    if (replaced && plainKey && plainText && key.size() + text.size() + 2 < SettingsFile::kTextSize) {
        if (!settings.GetValue(key.c_str(), kFormatText)) Fail("replaced key not found");
        if (std::string(settings.value.text) != text + "\r\n") Fail("replaced value not read back");
    }

    if (options & 0x40) {
        const std::string before = files.Content(kPath);
        settings.value.number = 4294967295u;
        const bool again = settings.SetValue(key.c_str(), kFormatDecimal);
        if (!key.empty() && key.size() < SettingsFile::kTextSize) {
            CheckRewrite(before, files.Content(kPath), key, "-1", again);
        }
    }
    return 0;
}
