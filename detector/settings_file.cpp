#include "settings_file.h"

#include "replace_retry.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::size_t BoundedLength(const char* text, std::size_t limit) noexcept {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

// A change a rewrite makes: a key that can match (not empty, shorter than
// kTextSize) with a text that fits valueText.
bool IsUsable(const SettingsFile::SettingChange& change) noexcept {
    constexpr std::size_t kSize = SettingsFile::kTextSize;
    return change.key != nullptr && change.key[0] != '\0' && BoundedLength(change.key, kSize) < kSize &&
           change.text != nullptr && BoundedLength(change.text, kSize) < kSize;
}

// Editors may start the file with a UTF-8 byte order mark: one there is no part of the first line.
std::size_t MarkLength(const std::string& content) noexcept {
    return content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

// A comment's first byte is ";", with nothing skipped before it.
bool HoldsKey(std::string_view line, std::string_view key) noexcept {
    return line[0] != ';' && line.find(key) != std::string_view::npos;
}

// The value text of a line as strtok(line, "=") splits it: its second token, which
// runs to the next "=" or the line's end. Empty when the line has none.
std::string_view ValueTextOf(std::string_view line) noexcept {
    constexpr auto npos = std::string_view::npos;
    const std::size_t first = line.find_first_not_of('=');
    const std::size_t separator = first == npos ? npos : line.find('=', first);
    const std::size_t start = separator == npos ? npos : line.find_first_not_of('=', separator);
    return start == npos ? std::string_view() : line.substr(start, line.find('=', start) - start);
}

// before after each usable change in turn, as that many ReplaceValue calls leave it;
// results[i] = 0 for a change that replaced a line. False beyond kMaxFileSize or memory.
bool ApplyChanges(const std::string& before, const SettingsFile::SettingChange* changes, std::size_t count,
                  int* results, std::string* after) noexcept {
    try {
        *after = before;
        std::string next;
        for (std::size_t i = 0; i < count; ++i) {
            if (!IsUsable(changes[i])) continue;
            std::size_t at = MarkLength(*after);
            next.assign(*after, 0, at);
            for (std::size_t length; (length = SettingsFile::ReadLine(*after, at)) > 0; at += length) {
                const std::string_view line(after->data() + at, length);
                if (HoldsKey(line, changes[i].key)) {
                    next.append(changes[i].key).append("=").append(changes[i].text).append("\r\n");
                    results[i] = kSettingsOk;
                } else {
                    next.append(line == "\n" ? "\r\n" : line);
                }
                if (next.size() > SettingsFile::kMaxFileSize) return false;
            }
            after->swap(next);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool IsNumberFormat(int format) noexcept { return format >= kFormatHex4 && format <= kFormatDecimal; }

// The text SetValue writes for a number in a number format, into kTextSize bytes.
void FormatNumber(std::uint32_t number, int format, char* text) noexcept {
    constexpr std::size_t kSize = SettingsFile::kTextSize;
    if (format == kFormatHex4) std::snprintf(text, kSize, "%04lx", static_cast<unsigned long>(number));
    else if (format == kFormatHex8) std::snprintf(text, kSize, "%08lx", static_cast<unsigned long>(number));
    else std::snprintf(text, kSize, "%li", static_cast<long>(static_cast<std::int32_t>(number)));
}

}  // namespace

std::uint32_t ParseUnsigned32(const char* text, int base) noexcept {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, nullptr, base);
    // Beyond 32 bits gives the largest value, whatever the sign.
    const unsigned long long magnitude = *text == '-' ? 0 - parsed : parsed;
    if (errno == ERANGE || magnitude > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(parsed);
}

SettingsFile::SettingsFile(const char* settingsPath, FileAccess& files) noexcept : files_(files) {
    // A path that does not fit path is treated like a file that cannot be opened.
    const std::size_t length = settingsPath != nullptr ? BoundedLength(settingsPath, sizeof path) : 0;
    if (length == 0 || length >= sizeof path) return;
    fileHandle.Reset(files_, files_.OpenForReading(settingsPath));
    std::string content;
    if (ReadAll(&content)) std::memcpy(path, settingsPath, length + 1);
    else fileHandle.Reset();
    status = fileHandle.IsValid() ? kSettingsOk : kSettingsNoFile;
}

std::size_t SettingsFile::ReadLine(const std::string& content, std::size_t start) noexcept {
    return start >= content.size() ? 0 : std::min(content.find('\n', start), content.size() - 1) + 1 - start;
}

bool SettingsFile::ReadAll(std::string* content) noexcept {
    if (!fileHandle.IsValid() || !files_.Seek(fileHandle.Get(), 0)) return false;
    content->clear();
    std::size_t got = 0;
    try {
        do {
            char block[16384];
            if (!files_.Read(fileHandle.Get(), block, sizeof block, &got) || got > sizeof block) return false;
            if (content->size() + got > kMaxFileSize) return false;
            content->append(block, got);
        } while (got > 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int SettingsFile::FindValue(const char* key, char (&destination)[kTextSize]) noexcept {
    if (!fileHandle.IsValid()) return kSettingsNoFile;
    if (!IsUsable(SettingChange{key, ""})) return kSettingsNotFound;
    std::string content;
    if (!ReadAll(&content)) return kSettingsNoFile;
    for (std::size_t at = MarkLength(content), length; (length = ReadLine(content, at)) > 0; at += length) {
        const std::string_view line(content.data() + at, length);
        if (!HoldsKey(line, key)) continue;
        const std::string_view text = ValueTextOf(line);
        if (text.empty() || text.size() >= kTextSize) return kSettingsNotFound;
        std::memcpy(destination, text.data(), text.size());
        destination[text.size()] = '\0';
        return kSettingsOk;
    }
    return kSettingsNotFound;
}

int SettingsFile::ReplaceValue(const char* key, const char* text) noexcept {
    const SettingChange change{key, text};
    int result = kSettingsNotFound;
    (void)ReplaceValues(&change, 1, &result);
    return result;
}

std::size_t SettingsFile::ReplaceValues(const SettingChange* changes, std::size_t count, int* results) noexcept {
    std::fill(results, results + count, fileHandle.IsValid() ? kSettingsNotFound : kSettingsNoFile);
    // Without a usable change no rewrite is even attempted, as for a single ReplaceValue.
    if (!fileHandle.IsValid() || std::none_of(changes, changes + count, IsUsable)) return 0;
    char folder[kMaxPath];
    bool done = SettingsFolderOf(path, folder, sizeof folder);
    if (done && !std::exchange(leftoversRemoved_, true)) files_.DeleteLeftoverTemporaries(folder);
    std::string before, after;
    done = done && ReadAll(&before) && ApplyChanges(before, changes, count, results, &after);
    // A rewrite that changes nothing writes nothing.
    done = done && (after == before || WriteAll(after, folder));
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (IsUsable(changes[i]) && !done) results[i] = kSettingsNoFile;
        replaced += results[i] == kSettingsOk ? 1 : 0;
    }
    return replaced;
}

bool SettingsFile::WriteAll(const std::string& content, const char* folder) noexcept {
    // Room for any name GetTempFileName makes; a folder too long for one fails here.
    char tempPath[kMaxPath] = {};
    ScopedFile temp(files_, files_.CreateTemporary(folder, tempPath, sizeof tempPath));
    if (!temp.IsValid()) return false;
    // Durable before it takes the name: after the rename the file is whole.
    const bool written = files_.Write(temp.Get(), content.data(), content.size()) && files_.Flush(temp.Get());
    temp.Reset();  // the rename needs the copy closed
    if (!written) {
        (void)files_.Delete(tempPath);
        return false;
    }
    // Our own handle must not stand in the rename's way; it is opened again on the
    // file that then has the name, so that later calls read what it holds.
    fileHandle.Reset();
    ReplaceResult result = files_.Replace(path, tempPath);
    while (retryBudget_ != nullptr && retryBudget_->WaitForRetry(result)) result = files_.Replace(path, tempPath);
    if (result != ReplaceResult::kReplaced) (void)files_.Delete(tempPath);
    fileHandle.Reset(files_, files_.OpenForReading(path));
    return result == ReplaceResult::kReplaced;
}

bool SettingsFile::GetValue(const char* key, int format) noexcept {
    status = FindValue(key, valueText);
    if (status != kSettingsOk) return false;
    if (format == kFormatText) std::memcpy(value.text, valueText, sizeof value.text);
    else if (IsNumberFormat(format)) value.number = ParseUnsigned32(valueText, format <= kFormatHex8 ? 16 : 10);
    else status = kSettingsNotFound;
    return status == kSettingsOk;
}

bool SettingsFile::SetValue(const char* key, int format) noexcept {
    // A text form without its NUL inside the buffer does not fit.
    const bool text = format == kFormatText && BoundedLength(value.text, kTextSize) < kTextSize;
    if (text) std::memcpy(valueText, value.text, kTextSize);
    else if (IsNumberFormat(format)) FormatNumber(value.number, format, valueText);
    status = text || IsNumberFormat(format) ? ReplaceValue(key, valueText) : kSettingsNotFound;
    return status == kSettingsOk;
}

std::size_t SettingsFile::SetValues(const char* const* keys, const std::uint32_t* numbers, std::size_t count,
                                    int format, int* results) noexcept {
    if (count == 0) return 0;
    std::fill(results, results + count, IsNumberFormat(format) ? kSettingsNoFile : kSettingsNotFound);
    std::size_t replaced = 0;
    try {
        if (IsNumberFormat(format)) {
            std::vector<SettingValue> texts(count);
            std::vector<SettingChange> changes(count);
            for (std::size_t i = 0; i < count; ++i) {
                FormatNumber(numbers[i], format, texts[i].text);
                changes[i] = SettingChange{keys[i], texts[i].text};
            }
            std::memcpy(valueText, texts.back().text, kTextSize);
            replaced = ReplaceValues(changes.data(), count, results);
        }
    } catch (const std::bad_alloc&) {
        // Without memory for the texts nothing is written: the results stay -1.
    }
    status = results[count - 1];
    return replaced;
}
