// Access to the settings file PANELSET.TXT: key=value lines, ";" comments.
//
// Lookups scan the lines from the top; a change writes a complete new copy into
// a temporary file beside the settings file and puts it in place in one step, so
// the file holds either its old or its new content at every moment.
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

private:
    friend class SettingsFile;
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

enum class LinePiece {
    kNone,      // no line: end of file before a new line, or a failed read (reader.Failed())
    kPartial,   // the buffer is full and the line goes on; the next call continues it
    kComplete,  // the piece ends the line (its LF, or the end of the file)
};

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

    // Copies the next piece of the current line (at most size - 1 bytes, NUL added)
    // into buffer, its length into *length. Bytes are copied as they stand, CR and
    // NUL included. size must be at least 2.
    [[nodiscard]] static LinePiece ReadLine(LineReader& reader, char* buffer, std::size_t size,
                                            std::size_t* length) noexcept;

    // 0 with the value text of the first matching line (line end included) in
    // destination, -1 or -2; destination is written only on 0.
    [[nodiscard]] int FindValue(const char* key, char (&destination)[kTextSize]) noexcept;

    // Rewrites the file with every matching line replaced by key "=" text CR LF and
    // every lone-LF line by CR LF. 0 when a line was replaced, -2 when none was (the
    // file is rewritten all the same), -1 when the rewrite failed and the file kept
    // its old content.
    [[nodiscard]] int ReplaceValue(const char* key, const char* text) noexcept;

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
    void Open(const char* settingsPath) noexcept;
    [[nodiscard]] bool CopyWithReplacement(const char* key, const char* text, FileId temp,
                                           bool* replaced) noexcept;

    FileAccess& files_;
};
