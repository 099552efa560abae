#include "settings_file.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kKeyMax = SettingsFile::kTextSize - 1;

std::size_t BoundedLength(const char* text, std::size_t limit) noexcept {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

// Finds one key anywhere in a line fed in pieces (Knuth-Morris-Pratt), so a key
// that straddles two pieces of a long line is found too.
class KeyMatcher {
public:
    // False for an empty key or one too long to match.
    [[nodiscard]] bool SetKey(const char* key) noexcept {
        length_ = key != nullptr ? BoundedLength(key, kKeyMax + 1) : 0;
        if (length_ == 0 || length_ > kKeyMax) return false;
        std::memcpy(key_, key, length_);
        fallback_[0] = 0;
        std::size_t k = 0;
        for (std::size_t i = 1; i < length_; ++i) {
            while (k > 0 && key_[i] != key_[k]) k = fallback_[k - 1];
            if (key_[i] == key_[k]) ++k;
            fallback_[i] = k;
        }
        return true;
    }

    void Reset() noexcept {
        matched_ = 0;
        found_ = false;
    }

    bool Feed(const char* data, std::size_t size) noexcept {
        for (std::size_t i = 0; i < size && !found_; ++i) {
            while (matched_ > 0 && data[i] != key_[matched_]) matched_ = fallback_[matched_ - 1];
            if (data[i] == key_[matched_]) ++matched_;
            if (matched_ == length_) found_ = true;
        }
        return found_;
    }

    bool Found() const noexcept { return found_; }

private:
    char key_[kKeyMax];
    std::size_t fallback_[kKeyMax];
    std::size_t length_ = 0;
    std::size_t matched_ = 0;
    bool found_ = false;
};

// Picks the value text out of a line fed in pieces, splitting at "=" the way
// strtok(line, "=") does: leading "="s skipped, the first token dropped, the value
// text runs from after the "="s that end it to the next "=" or the line's end.
class ValueCollector {
public:
    void Reset() noexcept {
        state_ = kLeading;
        length_ = 0;
        tooLong_ = false;
    }

    void Feed(const char* data, std::size_t size) noexcept {
        for (std::size_t i = 0; i < size && state_ != kDone; ++i) {
            const bool equals = data[i] == '=';
            switch (state_) {
            case kLeading: if (!equals) state_ = kFirstToken; break;
            case kFirstToken: if (equals) state_ = kSeparator; break;
            case kSeparator:
                if (equals) break;
                state_ = kValue;
                Append(data[i]);
                break;
            case kValue:
                if (equals) state_ = kDone;
                else Append(data[i]);
                break;
            case kDone: break;
            }
        }
    }

    // True with the value text in destination; false when the line has none or it
    // does not fit.
    [[nodiscard]] bool Deliver(char (&destination)[SettingsFile::kTextSize]) const noexcept {
        if (state_ != kValue && state_ != kDone) return false;
        if (tooLong_) return false;
        std::memcpy(destination, text_, length_);
        destination[length_] = '\0';
        return true;
    }

private:
    enum State { kLeading, kFirstToken, kSeparator, kValue, kDone };

    void Append(char c) noexcept {
        if (length_ < SettingsFile::kTextSize - 1) text_[length_++] = c;
        else tooLong_ = true;
    }

    State state_ = kLeading;
    char text_[SettingsFile::kTextSize];
    std::size_t length_ = 0;
    bool tooLong_ = false;
};

// Collects small writes into large ones; the first failure sticks.
class BlockWriter {
public:
    BlockWriter(FileAccess& files, FileId file) noexcept : files_(files), file_(file) {}

    void Put(const char* data, std::size_t size) noexcept {
        if (failed_) return;
        if (size > sizeof block_ - used_) {
            Drain();
            if (size >= sizeof block_) {
                if (!failed_ && !files_.Write(file_, data, size)) failed_ = true;
                return;
            }
        }
        std::memcpy(block_ + used_, data, size);
        used_ += size;
    }

    void Put(const char* text) noexcept { Put(text, std::strlen(text)); }

    [[nodiscard]] bool Finish() noexcept {
        Drain();
        return !failed_;
    }

private:
    void Drain() noexcept {
        if (!failed_ && used_ > 0 && !files_.Write(file_, block_, used_)) failed_ = true;
        used_ = 0;
    }

    FileAccess& files_;
    FileId file_;
    char block_[4096];
    std::size_t used_ = 0;
    bool failed_ = false;
};

// Pieces of a line, larger than any settings line of a real file.
constexpr std::size_t kPieceSize = 512;

}  // namespace

std::uint32_t ParseUnsigned32(const char* text, int base) noexcept {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    auto digitOf = [base](char c) -> int {
        int digit = 99;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
        return digit < base ? digit : -1;
    };
    // "0x" counts only when a hexadecimal digit follows; otherwise the "0" is the number.
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitOf(p[2]) >= 0) p += 2;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (int digit; (digit = digitOf(*p)) >= 0; ++p) {
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFu) {
            overflow = true;
            magnitude = 0xFFFFFFFFu;
        }
    }
    if (overflow) return 0xFFFFFFFFu;
    const auto result = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

bool SettingsFolderOf(const char* path, char* folder, std::size_t size) noexcept {
    if (size == 0) return false;
    const std::size_t length = std::strlen(path);
    std::size_t cut = length;
    while (cut > 0 && path[cut - 1] != '\\' && path[cut - 1] != '/') --cut;
    std::size_t keep;
    if (cut == 0) {
        // "C:name" lies in the current folder of drive C.
        if (length >= 2 && path[1] == ':') {
            keep = 2;
        } else {
            if (size < 2) return false;
            std::memcpy(folder, ".", 2);
            return true;
        }
    } else {
        keep = cut - 1;  // without the separator...
        if (keep == 0 || path[keep - 1] == ':' || path[keep - 1] == '\\' || path[keep - 1] == '/') {
            keep = cut;  // ...except for a root ("\", "C:\"), which needs it
        }
    }
    if (keep + 1 > size) return false;
    std::memcpy(folder, path, keep);
    folder[keep] = '\0';
    return true;
}

bool LineReader::SeekTo(std::uint64_t offset) noexcept {
    next_ = end_ = 0;
    blockOffset_ = offset;
    midLine_ = false;
    if (!files_.Seek(file_, offset)) failed_ = true;
    return !failed_;
}

bool LineReader::Fill() noexcept {
    if (failed_) return false;
    blockOffset_ += end_;
    next_ = end_ = 0;
    std::size_t got = 0;
    if (!files_.Read(file_, block_, sizeof block_, &got) || got > sizeof block_) {
        failed_ = true;
        return false;
    }
    end_ = got;
    return got > 0;
}

SettingsFile::SettingsFile(const char* settingsPath, FileAccess& files) noexcept : files_(files) {
    Open(settingsPath);
}

void SettingsFile::Open(const char* settingsPath) noexcept {
    status = kSettingsNoFile;
    // A path that does not fit path is treated like a file that cannot be opened.
    if (settingsPath == nullptr) return;
    const std::size_t length = BoundedLength(settingsPath, kTextSize);
    if (length == 0 || length >= kTextSize) return;
    fileHandle = ScopedFile(files_, files_.OpenForReading(settingsPath));
    if (!fileHandle.IsValid()) return;
    std::memcpy(path, settingsPath, length + 1);
    status = kSettingsOk;
}

LinePiece SettingsFile::ReadLine(LineReader& reader, char* buffer, std::size_t size,
                                 std::size_t* length) noexcept {
    *length = 0;
    if (size < 2) return LinePiece::kNone;
    buffer[0] = '\0';
    std::size_t filled = 0;
    for (;;) {
        if (reader.next_ == reader.end_ && !reader.Fill()) {
            // End of file (or a failed read): whatever was read so far ends the line.
            if (reader.failed_ || (filled == 0 && !reader.midLine_)) {
                reader.midLine_ = false;
                return LinePiece::kNone;
            }
            buffer[filled] = '\0';
            *length = filled;
            reader.midLine_ = false;
            return LinePiece::kComplete;
        }
        const char* start = reader.block_ + reader.next_;
        std::size_t available = reader.end_ - reader.next_;
        std::size_t room = size - 1 - filled;
        std::size_t take = available < room ? available : room;
        const void* lf = std::memchr(start, '\n', take);
        if (lf != nullptr) take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
        std::memcpy(buffer + filled, start, take);
        filled += take;
        reader.next_ += take;
        if (lf != nullptr) {
            buffer[filled] = '\0';
            *length = filled;
            reader.midLine_ = false;
            return LinePiece::kComplete;
        }
        if (filled == size - 1) {
            buffer[filled] = '\0';
            *length = filled;
            reader.midLine_ = true;
            return LinePiece::kPartial;
        }
    }
}

int SettingsFile::FindValue(const char* key, char (&destination)[kTextSize]) noexcept {
    if (!fileHandle.IsValid()) return kSettingsNoFile;
    KeyMatcher matcher;
    if (!matcher.SetKey(key)) return kSettingsNotFound;
    LineReader reader(files_, fileHandle.Get());
    if (!reader.SeekTo(0)) return kSettingsNoFile;
    ValueCollector collector;
    char line[kPieceSize];
    std::size_t length = 0;
    for (;;) {
        LinePiece piece = ReadLine(reader, line, sizeof line, &length);
        if (piece == LinePiece::kNone) return reader.Failed() ? kSettingsNoFile : kSettingsNotFound;
        const bool comment = line[0] == ';';
        matcher.Reset();
        collector.Reset();
        for (;;) {
            if (!comment) {
                matcher.Feed(line, length);
                collector.Feed(line, length);
            }
            if (piece == LinePiece::kComplete) break;
            piece = ReadLine(reader, line, sizeof line, &length);
            if (piece == LinePiece::kNone) return kSettingsNoFile;
        }
        if (!comment && matcher.Found()) {
            return collector.Deliver(destination) ? kSettingsOk : kSettingsNotFound;
        }
    }
}

bool SettingsFile::CopyWithReplacement(const char* key, const char* text, FileId temp,
                                       bool* replaced) noexcept {
    KeyMatcher matcher;
    if (!matcher.SetKey(key)) return false;
    LineReader reader(files_, fileHandle.Get());
    if (!reader.SeekTo(0)) return false;
    BlockWriter out(files_, temp);
    char line[kPieceSize];
    std::size_t length = 0;
    auto putReplacement = [&] {
        out.Put(key);
        out.Put("=", 1);
        out.Put(text);
        out.Put("\r\n", 2);
        *replaced = true;
    };
    // Copies the pieces of the current line up to and including its last one.
    auto copyRest = [&](LinePiece piece) {
        while (piece == LinePiece::kPartial) {
            piece = ReadLine(reader, line, sizeof line, &length);
            if (piece == LinePiece::kNone) return false;
            out.Put(line, length);
        }
        return true;
    };
    auto skipRest = [&](LinePiece piece) {
        while (piece == LinePiece::kPartial) {
            piece = ReadLine(reader, line, sizeof line, &length);
            if (piece == LinePiece::kNone) return false;
        }
        return true;
    };

    for (;;) {
        const std::uint64_t lineStart = reader.Tell();
        LinePiece piece = ReadLine(reader, line, sizeof line, &length);
        if (piece == LinePiece::kNone) {
            if (reader.Failed()) return false;
            break;
        }
        const bool comment = line[0] == ';';
        matcher.Reset();
        if (comment) {
            out.Put(line, length);
            if (!copyRest(piece)) return false;
            continue;
        }
        bool found = matcher.Feed(line, length);
        if (piece == LinePiece::kComplete) {
            if (found) putReplacement();
            else if (length == 1 && line[0] == '\n') out.Put("\r\n", 2);
            else out.Put(line, length);
            continue;
        }
        // A line longer than the piece buffer: read on until the key shows or the
        // line ends, then either replace it or go back and copy it as it stands.
        while (!found && piece == LinePiece::kPartial) {
            piece = ReadLine(reader, line, sizeof line, &length);
            if (piece == LinePiece::kNone) return false;
            found = matcher.Feed(line, length);
        }
        if (found) {
            if (!skipRest(piece)) return false;
            putReplacement();
            continue;
        }
        if (!reader.SeekTo(lineStart)) return false;
        piece = ReadLine(reader, line, sizeof line, &length);
        if (piece == LinePiece::kNone) return false;
        out.Put(line, length);
        if (!copyRest(piece)) return false;
    }
    return out.Finish();
}

int SettingsFile::ReplaceValue(const char* key, const char* text) noexcept {
    if (!fileHandle.IsValid()) return kSettingsNoFile;
    KeyMatcher probe;
    if (!probe.SetKey(key) || text == nullptr) return kSettingsNotFound;
    char folder[kTextSize];
    if (!SettingsFolderOf(path, folder, sizeof folder)) return kSettingsNoFile;
    char tempPath[kTextSize + 16] = {};
    ScopedFile temp(files_, files_.CreateTemporary(folder, tempPath, sizeof tempPath));
    if (!temp.IsValid()) return kSettingsNoFile;

    bool replaced = false;
    bool written = CopyWithReplacement(key, text, temp.Get(), &replaced);
    written = written && files_.Flush(temp.Get());
    temp.Reset();  // the replace needs the copy closed

    const ReplaceResult result =
        written ? files_.Replace(path, tempPath) : ReplaceResult::kUnchanged;
    if (result == ReplaceResult::kIncomplete) {
        // The new content survives only in the temporary file: keep it.
        return kSettingsNoFile;
    }
    if (result == ReplaceResult::kUnchanged) {
        (void)files_.Delete(tempPath);
        return kSettingsNoFile;
    }
    // Our handle still reads the replaced file; later calls must see the new one.
    fileHandle = ScopedFile(files_, files_.OpenForReading(path));
    return replaced ? kSettingsOk : kSettingsNotFound;
}

bool SettingsFile::GetValue(const char* key, int format) noexcept {
    status = FindValue(key, valueText);
    if (status != kSettingsOk) return false;
    switch (format) {
    case kFormatHex4:
    case kFormatHex8:
        value.number = ParseUnsigned32(valueText, 16);
        return true;
    case kFormatSigned:
    case kFormatDecimal:
        value.number = ParseUnsigned32(valueText, 10);
        return true;
    case kFormatText:
        std::memcpy(value.text, valueText, sizeof value.text);
        return true;
    default:
        status = kSettingsNotFound;
        return false;
    }
}

bool SettingsFile::SetValue(const char* key, int format) noexcept {
    const auto asSigned = static_cast<long>(static_cast<std::int32_t>(value.number));
    const auto asUnsigned = static_cast<unsigned long>(value.number);
    switch (format) {
    case kFormatHex4: std::snprintf(valueText, sizeof valueText, "%04lx", asUnsigned); break;
    case kFormatHex8: std::snprintf(valueText, sizeof valueText, "%08lx", asUnsigned); break;
    case kFormatSigned:
    case kFormatDecimal: std::snprintf(valueText, sizeof valueText, "%li", asSigned); break;
    case kFormatText: {
        // A text form without its NUL inside the buffer does not fit.
        const std::size_t length = BoundedLength(value.text, sizeof value.text);
        if (length == sizeof value.text) {
            status = kSettingsNotFound;
            return false;
        }
        std::memcpy(valueText, value.text, length + 1);
        break;
    }
    default:
        status = kSettingsNotFound;
        return false;
    }
    status = ReplaceValue(key, valueText);
    return status == kSettingsOk;
}
