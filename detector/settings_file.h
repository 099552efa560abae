// Access to the settings file PANELSET.TXT: key=value lines, ";" comments.
//
// Lookups scan the lines from the top. A change writes a complete new copy into a
// flushed temporary file beside the settings file and renames it onto the file,
// so the file holds either its whole old or its whole new content at every moment,
// even when the process dies. A change that would leave the content as it is
// writes nothing. Temporary files of rewrites that died are removed by the next
// rewrite.
//
// Lines have no length limit: a lookup considers the whole line, and a rewrite
// copies every line it does not replace byte for byte. A last line without a line
// feed is a line like any other. Two decisions where the old line format left the
// answer open:
//  - the first non-comment line that holds the key decides a lookup. When that
//    line has no value text (no "=", or nothing after the "="s that follow the
//    first token) the key counts as not found (-2), and a later line holding the
//    key is not consulted; a rewrite still replaces that line.
//  - a value text (line end included) of more than kTextSize - 1 bytes does not
//    fit valueText: the lookup fails with -2 and nothing is truncated.
// An empty key, or one of kTextSize bytes or more, matches no line: lookups give
// -2 and a rewrite is not even attempted.
#pragma once

#include "file_access.h"

#include <cstddef>
#include <cstdint>

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
    kSettingsNoFile = -1,    // file not open, unreadable, or the rewrite failed
    kSettingsNotFound = -2,  // no usable line for the key, or an unknown format
};

// strtoul with a 32-bit result: white space skipped, sign accepted ("-" negates
// modulo 2^32), "0x" accepted in base 16, stops at the first non-digit, no digits
// give 0, beyond 4294967295 gives 4294967295.
std::uint32_t ParseUnsigned32(const char* text, int base) noexcept;

// The folder a temporary file beside path must go to: path up to its last "\" or
// "/" ("." when there is none, the root itself for a file in a root). False when
// it does not fit size bytes.
[[nodiscard]] bool SettingsFolderOf(const char* path, char* folder, std::size_t size) noexcept;

enum class LinePiece {
    kNone,      // no line: end of file before a new line, or a failed read (reader.Failed())
    kPartial,   // the buffer is full and the line goes on; the next call continues it
    kComplete,  // the piece ends the line (its LF, or the end of the file)
};

// Hands out a file's lines, reading it in large blocks.
class LineReader {
public:
    LineReader(FileAccess& files, FileId file) noexcept : files_(files), file_(file) {}
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Moves to offset from the start of the file; the next line starts there.
    [[nodiscard]] bool SeekTo(std::uint64_t offset) noexcept;
    // Offset of the next byte to be handed out.
    std::uint64_t Tell() const noexcept { return blockOffset_ + next_; }
    // Whether a read or seek failed; the reader then hands out nothing more.
    bool Failed() const noexcept { return failed_; }

    // Copies the next piece of the current line (at most size - 1 bytes, NUL added)
    // into buffer, its length into *length. Bytes are copied as they stand, CR and
    // NUL included. size must be at least 2.
    [[nodiscard]] LinePiece NextPiece(char* buffer, std::size_t size, std::size_t* length) noexcept;

private:
    static constexpr std::size_t kBlockSize = 4096;

    [[nodiscard]] bool Fill() noexcept;

    FileAccess& files_;
    FileId file_;
    char block_[kBlockSize];
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    std::uint64_t blockOffset_ = 0;
    bool failed_ = false;
    bool midLine_ = false;
};

class RetryBudget;

class SettingsFile {
public:
    static constexpr std::size_t kTextSize = 256;

    union SettingValue {
        std::uint32_t number;
        char text[kTextSize];  // format kFormatText only
    };

#if defined(_WIN32)
    // The settings file on disk.
    explicit SettingsFile(const char* path) noexcept;
#endif
    SettingsFile(const char* path, FileAccess& files) noexcept;
    virtual ~SettingsFile() = default;
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    int GetStatus() const noexcept { return status; }

    // The next piece of the current line of reader (LineReader::NextPiece).
    [[nodiscard]] static LinePiece ReadLine(LineReader& reader, char* buffer, std::size_t size,
                                            std::size_t* length) noexcept {
        return reader.NextPiece(buffer, size, length);
    }

    // 0 with the value text of the first matching line (line end included) in
    // destination, -1 or -2; destination is written only on 0.
    [[nodiscard]] int FindValue(const char* key, char (&destination)[kTextSize]) noexcept;

    // Rewrites the file with every matching line replaced by key "=" text CR LF and
    // every lone-LF line by CR LF. 0 when a line was replaced, -2 when none was (the
    // file is rewritten all the same), -1 when the rewrite failed and the file kept
    // its old content.
    [[nodiscard]] int ReplaceValue(const char* key, const char* text) noexcept;

    // One key and its replacement text for ReplaceValues.
    struct SettingChange {
        const char* key;
        const char* text;
    };

    // The file as ReplaceValue for each change in turn would leave it, byte for byte,
    // in one rewrite: every line goes through the changes in their order, so a line
    // replaced for one key can match a later one. results[i] (count entries) gets
    // what ReplaceValue would have returned for change i: 0, -2, or -1 when the
    // rewrite failed and the file kept its old content. Returns the number of
    // changes that replaced a line.
    std::size_t ReplaceValues(const SettingChange* changes, std::size_t count, int* results) noexcept;

    // Every number formatted by format (-5 to -2) and written with ReplaceValues;
    // results[i] as there. Leaves valueText and status as SetValue for each key in
    // turn would: the last key's. Format -1 and unknown formats change nothing and
    // give -2 for every key.
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
    char path[kTextSize] = {};

private:
    struct PreparedChange;
    class LineRewriter;

    void Open(const char* settingsPath) noexcept;
    // One rewrite for at most kBatchSize changes whose keys and texts hold no LF.
    void RewriteOnce(const SettingChange* changes, std::size_t count, int* results) noexcept;
    // Puts the written temporary file in place of the settings file; true when it is there.
    [[nodiscard]] bool PutInPlace(const char* tempPath) noexcept;

    static constexpr std::size_t kBatchSize = 8;

    FileAccess& files_;
    RetryBudget* retryBudget_ = nullptr;
    bool leftoversRemoved_ = false;
};
