// Access to the settings file PANELSET.TXT: key=value lines, ";" comments.
//
// Each call reads the whole file (about a kilobyte) and applies the line rules to
// it in memory, from the top. A change goes into a flushed temporary file beside
// the file, renamed onto it, so the file holds its whole old or its whole new
// content at every moment, even when the process dies; a change that alters
// nothing writes nothing. The next rewrite removes the copies of rewrites that died.
//
// Lines have no length limit; a last line without a line feed is a line too. The
// first non-comment line holding the key decides a lookup: without a value text
// (no "=", or nothing after the "="s that end the first token) the key is not
// found (-2), as with a value text (line end included) of more than kTextSize - 1
// bytes, which is never cut; a rewrite still replaces such a line. An empty key,
// or one of kTextSize bytes or more, matches no line: lookups give -2 and a
// rewrite is not even attempted. A UTF-8 byte order mark at the very start of the file
// belongs to no line, and a rewrite keeps it there; anywhere else it is ordinary bytes.
#pragma once

#include "file_access.h"
#include "shared_contract.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Format codes of GetValue and SetValue.
enum SettingsFormat : int {
    kFormatHex4 = -5,     // base 16; written "%04lx"
    kFormatHex8 = -4,     // base 16; written "%08lx"
    kFormatSigned = -3,   // base 10; written "%li"
    kFormatDecimal = -2,  // base 10; written "%li"
    kFormatText = -1,     // the value text unchanged
};

// Results of FindValue and ReplaceValue, and values of status.
enum SettingsStatus : int {
    kSettingsOk = 0,
    kSettingsNoFile = -1,    // file not open, unreadable, too large, or the rewrite failed
    kSettingsNotFound = -2,  // no usable line for the key, or an unknown format
};

// strtoul with a 32-bit result: "-" negates modulo 2^32, "0x" is accepted in base
// 16, no digits give 0, beyond 4294967295 gives 4294967295.
std::uint32_t ParseUnsigned32(const char* text, int base) noexcept;

class RetryBudget;
class SettingsFile {
public:
    static constexpr std::size_t kTextSize = 256;
    // A larger file counts as one that cannot be opened, and a rewrite that would
    // make one fails: far above any settings file, it bounds what a damaged one costs.
    static constexpr std::size_t kMaxFileSize = std::size_t{16} << 20;

    union SettingValue {
        std::uint32_t number;
        char text[kTextSize];  // format kFormatText only
    };

#if defined(_WIN32)
    explicit SettingsFile(const char* path) noexcept;  // the settings file on disk
#endif
    SettingsFile(const char* path, FileAccess& files) noexcept;
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;
    int GetStatus() const noexcept { return status; }

    // The length of the line at offset start of content: through its LF, or to the
    // end for a last line without one; 0 at the end.
    [[nodiscard]] static std::size_t ReadLine(const std::string& content, std::size_t start) noexcept;

    // 0 with the value text of the first matching line (line end included) in
    // destination, -1 or -2; destination is written only on 0.
    [[nodiscard]] int FindValue(const char* key, char (&destination)[kTextSize]) noexcept;

    // Rewrites the file with every matching line replaced by key "=" text CR LF and
    // every lone-LF line by CR LF: 0 when a line was replaced, -2 when none was, -1
    // when the rewrite failed and the file kept its old content.
    [[nodiscard]] int ReplaceValue(const char* key, const char* text) noexcept;

    struct SettingChange { const char* key; const char* text; };
    // The file as ReplaceValue for each change in turn would leave it, in one rewrite;
    // results[i] (count entries) as ReplaceValue would give for change i, but -1 for
    // every usable change when the rewrite fails. Returns how many replaced a line.
    std::size_t ReplaceValues(const SettingChange* changes, std::size_t count, int* results) noexcept;

    // Every number formatted by format (-5 to -2) and written with ReplaceValues,
    // leaving valueText and status as SetValue for each key in turn would. Format -1
    // and unknown formats change nothing and give -2 for every key.
    std::size_t SetValues(const char* const* keys, const std::uint32_t* numbers, std::size_t count, int format,
                          int* results) noexcept;

    // Lets a busy file be tried again, as long as budget lasts; without a budget a
    // rewrite makes one attempt. The budget must outlive the accessor's rewrites.
    void UseRetryBudget(RetryBudget* budget) noexcept { retryBudget_ = budget; }

    // True with the converted value in value; always sets status.
    bool GetValue(const char* key, int format) noexcept;
    // Writes value (filled by the caller) into every line holding key; true when a
    // line was replaced. Always sets status.
    bool SetValue(const char* key, int format) noexcept;

    char valueText[kTextSize] = {};
    SettingValue value = {};
    ScopedFile fileHandle;
    int status = kSettingsNoFile;
    char path[kMaxPath] = {};  // as long as the installer key's Configuration value may be

private:
    // The whole file; false when it cannot be read or exceeds kMaxFileSize.
    [[nodiscard]] bool ReadAll(std::string* content) noexcept;
    // content as the file's, by a flushed copy in folder renamed onto it.
    [[nodiscard]] bool WriteAll(const std::string& content, const char* folder) noexcept;

    FileAccess& files_;
    RetryBudget* retryBudget_ = nullptr;
    bool leftoversRemoved_ = false;
};
