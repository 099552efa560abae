#include "settings_file.h"

#include "replace_retry.h"

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

// Pieces of a line: larger than any settings line of a real file, and than any
// line a rewrite makes (a key, "=", a text and CR LF).
constexpr std::size_t kPieceSize = 1024;
static_assert(kPieceSize - 1 > 2 * (SettingsFile::kTextSize - 1) + 3, "a replacement line fits one piece");

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

LinePiece LineReader::NextPiece(char* buffer, std::size_t size, std::size_t* length) noexcept {
    *length = 0;
    if (size < 2) return LinePiece::kNone;
    buffer[0] = '\0';
    std::size_t filled = 0;
    for (;;) {
        if (next_ == end_ && !Fill()) {
            // End of file (or a failed read): whatever was read so far ends the line.
            if (failed_ || (filled == 0 && !midLine_)) {
                midLine_ = false;
                return LinePiece::kNone;
            }
            buffer[filled] = '\0';
            *length = filled;
            midLine_ = false;
            return LinePiece::kComplete;
        }
        const char* start = block_ + next_;
        std::size_t available = end_ - next_;
        std::size_t room = size - 1 - filled;
        std::size_t take = available < room ? available : room;
        const void* lf = std::memchr(start, '\n', take);
        if (lf != nullptr) take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
        std::memcpy(buffer + filled, start, take);
        filled += take;
        next_ += take;
        if (lf != nullptr) {
            buffer[filled] = '\0';
            *length = filled;
            midLine_ = false;
            return LinePiece::kComplete;
        }
        if (filled == size - 1) {
            buffer[filled] = '\0';
            *length = filled;
            midLine_ = true;
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

// A change ready to match: its key's matcher and the line that replaces a match.
struct SettingsFile::PreparedChange {
    KeyMatcher matcher;
    const char* key;
    std::size_t keyLength;
    const char* text;
    std::size_t textLength;
};

// Runs every line of the file through the prepared changes in their order, the
// way one ReplaceValue per change would, one after another. Without an output it
// only finds out whether the result would differ from the file.
class SettingsFile::LineRewriter {
public:
    LineRewriter(PreparedChange* changes, std::size_t count, bool* found) noexcept
        : changes_(changes), count_(count), found_(found) {}

    // False when the file could not be read to its end. *changed tells whether
    // the output differs from the file; without out the pass stops at the first
    // difference.
    [[nodiscard]] bool Run(LineReader& reader, BlockWriter* out, bool* changed) noexcept {
        *changed = false;
        for (;;) {
            const std::uint64_t lineStart = reader.Tell();
            LinePiece piece = reader.NextPiece(line_, sizeof line_, &length_);
            if (piece == LinePiece::kNone) return !reader.Failed();
            bool lineChanged = false;
            if (piece == LinePiece::kComplete) {
                TransformFrom(0, line_, length_);
                lineChanged = resultLength_ != length_ || std::memcmp(result_, line_, length_) != 0;
                if (out != nullptr) out->Put(result_, resultLength_);
            } else if (!LongLine(reader, piece, lineStart, out, &lineChanged)) {
                return false;
            }
            if (lineChanged) {
                *changed = true;
                if (out == nullptr) return true;
            }
        }
    }

private:
    static bool Contains(const char* line, std::size_t length, const char* key, std::size_t keyLength) noexcept {
        if (keyLength > length) return false;
        for (std::size_t at = 0; at + keyLength <= length; ++at) {
            const void* first = std::memchr(line + at, key[0], length - keyLength - at + 1);
            if (first == nullptr) return false;
            at = static_cast<std::size_t>(static_cast<const char*>(first) - line);
            if (std::memcmp(line + at, key, keyLength) == 0) return true;
        }
        return false;
    }

    // result_ = the line (length bytes, at most kLineSize) after changes from..count_-1.
    void TransformFrom(std::size_t from, const char* text, std::size_t length) noexcept {
        std::memmove(result_, text, length);
        resultLength_ = length;
        for (std::size_t i = from; i < count_; ++i) {
            PreparedChange& change = changes_[i];
            if (result_[0] != ';' && Contains(result_, resultLength_, change.key, change.keyLength)) {
                PutReplacement(change);
                found_[i] = true;
            } else if (resultLength_ == 1 && result_[0] == '\n') {
                std::memcpy(result_, "\r\n", 2);
                resultLength_ = 2;
            }
        }
    }

    void PutReplacement(const PreparedChange& change) noexcept {
        std::size_t at = 0;
        std::memcpy(result_ + at, change.key, change.keyLength);
        at += change.keyLength;
        result_[at++] = '=';
        std::memcpy(result_ + at, change.text, change.textLength);
        at += change.textLength;
        result_[at++] = '\r';
        result_[at++] = '\n';
        resultLength_ = at;
    }

    // A line longer than the piece buffer, whose first piece is in line_. It can be
    // no comment that changes and no lone LF, so only a key changes it: the first
    // change whose key it holds replaces it, and the later changes see the
    // replacement. A line no key matches is copied byte for byte.
    [[nodiscard]] bool LongLine(LineReader& reader, LinePiece piece, std::uint64_t lineStart, BlockWriter* out,
                                bool* changed) noexcept {
        const bool comment = line_[0] == ';';
        std::size_t first = count_;
        if (!comment) {
            for (std::size_t i = 0; i < count_; ++i) changes_[i].matcher.Reset();
            for (;;) {
                for (std::size_t i = 0; i < count_; ++i) changes_[i].matcher.Feed(line_, length_);
                if (piece == LinePiece::kComplete) break;
                piece = reader.NextPiece(line_, sizeof line_, &length_);
                if (piece == LinePiece::kNone) return false;
            }
            for (std::size_t i = 0; i < count_ && first == count_; ++i) {
                if (changes_[i].matcher.Found()) first = i;
            }
        }
        if (first < count_) {
            found_[first] = true;
            PutReplacement(changes_[first]);
            TransformFrom(first + 1, result_, resultLength_);
            *changed = true;  // the replacement is shorter than any long line
            if (out != nullptr) out->Put(result_, resultLength_);
            return true;
        }
        *changed = false;
        if (out == nullptr) {
            // Nothing to write: read on to the line's end if that has not happened.
            while (piece == LinePiece::kPartial) {
                piece = reader.NextPiece(line_, sizeof line_, &length_);
                if (piece == LinePiece::kNone) return false;
            }
            return true;
        }
        if (!comment && !reader.SeekTo(lineStart)) return false;
        if (!comment) {
            piece = reader.NextPiece(line_, sizeof line_, &length_);
            if (piece == LinePiece::kNone) return false;
        }
        out->Put(line_, length_);
        while (piece == LinePiece::kPartial) {
            piece = reader.NextPiece(line_, sizeof line_, &length_);
            if (piece == LinePiece::kNone) return false;
            out->Put(line_, length_);
        }
        return true;
    }

    // A replacement line holds a key, "=", a text and CR LF: less than one piece.
    static constexpr std::size_t kLineSize = kPieceSize;

    PreparedChange* changes_;
    std::size_t count_;
    bool* found_;
    char line_[kPieceSize];
    std::size_t length_ = 0;
    char result_[kLineSize];
    std::size_t resultLength_ = 0;
};

int SettingsFile::ReplaceValue(const char* key, const char* text) noexcept {
    const SettingChange change{key, text};
    int result = kSettingsNotFound;
    (void)ReplaceValues(&change, 1, &result);
    return result;
}

std::size_t SettingsFile::ReplaceValues(const SettingChange* changes, std::size_t count, int* results) noexcept {
    bool lineFeeds = false;
    for (std::size_t i = 0; i < count; ++i) {
        const char* key = changes[i].key;
        const char* text = changes[i].text;
        lineFeeds = lineFeeds || (key != nullptr && std::memchr(key, '\n', BoundedLength(key, kTextSize)) != nullptr) ||
                    (text != nullptr && std::memchr(text, '\n', BoundedLength(text, kTextSize)) != nullptr);
    }
    // A key or text holding a line feed would make a replaced line two for the
    // changes after it: those batches go one change per rewrite.
    const std::size_t step = lineFeeds ? 1 : kBatchSize;
    std::size_t replaced = 0;
    for (std::size_t start = 0; start < count; start += step) {
        const std::size_t chunk = count - start < step ? count - start : step;
        RewriteOnce(changes + start, chunk, results + start);
        for (std::size_t i = start; i < start + chunk; ++i) replaced += results[i] == kSettingsOk ? 1 : 0;
    }
    return replaced;
}

void SettingsFile::RewriteOnce(const SettingChange* changes, std::size_t count, int* results) noexcept {
    PreparedChange prepared[kBatchSize];
    int* slotOf[kBatchSize];
    std::size_t usable = 0;
    for (std::size_t i = 0; i < count; ++i) {
        results[i] = fileHandle.IsValid() ? kSettingsNotFound : kSettingsNoFile;
        const SettingChange& change = changes[i];
        if (!fileHandle.IsValid() || change.text == nullptr) continue;
        // A text that would not fit valueText is refused like a key that cannot match.
        const std::size_t textLength = BoundedLength(change.text, kTextSize);
        if (textLength >= kTextSize || !prepared[usable].matcher.SetKey(change.key)) continue;
        prepared[usable].key = change.key;
        prepared[usable].keyLength = std::strlen(change.key);
        prepared[usable].text = change.text;
        prepared[usable].textLength = textLength;
        slotOf[usable++] = &results[i];
    }
    // Like a single ReplaceValue of such a key: no rewrite is even attempted.
    if (usable == 0) return;

    char folder[kTextSize];
    if (!SettingsFolderOf(path, folder, sizeof folder)) {
        for (std::size_t i = 0; i < usable; ++i) *slotOf[i] = kSettingsNoFile;
        return;
    }
    if (!leftoversRemoved_) {
        files_.DeleteLeftoverTemporaries(folder);
        leftoversRemoved_ = true;
    }

    bool found[kBatchSize] = {};
    LineRewriter rewriter(prepared, usable, found);
    auto settle = [&](bool failed) {
        for (std::size_t i = 0; i < usable; ++i) {
            *slotOf[i] = failed ? kSettingsNoFile : found[i] ? kSettingsOk : kSettingsNotFound;
        }
    };

    // First only compare: a rewrite that changes nothing writes nothing.
    bool changed = false;
    {
        LineReader reader(files_, fileHandle.Get());
        if (!reader.SeekTo(0) || !rewriter.Run(reader, nullptr, &changed)) return settle(true);
    }
    if (!changed) return settle(false);

    char tempPath[kTextSize + 16] = {};
    ScopedFile temp(files_, files_.CreateTemporary(folder, tempPath, sizeof tempPath));
    if (!temp.IsValid()) return settle(true);
    for (std::size_t i = 0; i < usable; ++i) found[i] = false;
    bool written;
    {
        LineReader reader(files_, fileHandle.Get());
        BlockWriter out(files_, temp.Get());
        written = reader.SeekTo(0) && rewriter.Run(reader, &out, &changed);
        written = out.Finish() && written;
    }
    // Durable before it takes the name: after the rename the file is whole.
    written = written && files_.Flush(temp.Get());
    temp.Reset();  // the rename needs the copy closed
    if (!written) {
        (void)files_.Delete(tempPath);
        return settle(true);
    }
    settle(!PutInPlace(tempPath));
}

bool SettingsFile::PutInPlace(const char* tempPath) noexcept {
    // Our own handle must not stand in the rename's way; it is opened again on the
    // file that then has the name, so that later calls read what it holds.
    fileHandle.Reset();
    ReplaceResult result;
    do {
        result = files_.Replace(path, tempPath);
    } while (retryBudget_ != nullptr && retryBudget_->WaitForRetry(result));
    if (result != ReplaceResult::kReplaced) (void)files_.Delete(tempPath);
    fileHandle = ScopedFile(files_, files_.OpenForReading(path));
    return result == ReplaceResult::kReplaced;
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

namespace {

// The text SetValue writes for a number; false for format -1 and unknown formats.
bool FormatNumber(std::uint32_t number, int format, char (&text)[SettingsFile::kTextSize]) noexcept {
    const auto asSigned = static_cast<long>(static_cast<std::int32_t>(number));
    const auto asUnsigned = static_cast<unsigned long>(number);
    switch (format) {
    case kFormatHex4: std::snprintf(text, sizeof text, "%04lx", asUnsigned); return true;
    case kFormatHex8: std::snprintf(text, sizeof text, "%08lx", asUnsigned); return true;
    case kFormatSigned:
    case kFormatDecimal: std::snprintf(text, sizeof text, "%li", asSigned); return true;
    default: return false;
    }
}

}  // namespace

bool SettingsFile::SetValue(const char* key, int format) noexcept {
    if (format == kFormatText) {
        // A text form without its NUL inside the buffer does not fit.
        const std::size_t length = BoundedLength(value.text, sizeof value.text);
        if (length == sizeof value.text) {
            status = kSettingsNotFound;
            return false;
        }
        std::memcpy(valueText, value.text, length + 1);
    } else if (!FormatNumber(value.number, format, valueText)) {
        status = kSettingsNotFound;
        return false;
    }
    status = ReplaceValue(key, valueText);
    return status == kSettingsOk;
}

std::size_t SettingsFile::SetValues(const char* const* keys, const std::uint32_t* numbers, std::size_t count,
                                    int format, int* results) noexcept {
    if (count == 0) return 0;
    char texts[kBatchSize][kTextSize];
    SettingChange changes[kBatchSize];
    std::size_t replaced = 0;
    for (std::size_t start = 0; start < count; start += kBatchSize) {
        const std::size_t chunk = count - start < kBatchSize ? count - start : kBatchSize;
        for (std::size_t i = 0; i < chunk; ++i) {
            if (!FormatNumber(numbers[start + i], format, texts[i])) {
                for (std::size_t j = 0; j < count; ++j) results[j] = kSettingsNotFound;
                status = kSettingsNotFound;
                return 0;
            }
            changes[i] = SettingChange{keys[start + i], texts[i]};
        }
        replaced += ReplaceValues(changes, chunk, results + start);
        if (start + chunk == count) std::memcpy(valueText, texts[chunk - 1], sizeof valueText);
    }
    status = results[count - 1];
    return replaced;
}
