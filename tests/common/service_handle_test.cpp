// The owner over a file service shaped like the detector's: an abstract service whose
// Close is virtual, an integer file identifier, zero as its one "none".
#include "service_handle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace {

// A handle type whose one "none" value is `none`.
template <typename Handle, Handle none>
struct NoneIs {
    static constexpr Handle kNone = none;
    static constexpr bool IsValid(Handle handle) noexcept { return handle != none; }
};

using FileId = std::uintptr_t;
constexpr FileId kNoFile = 0;

class Files {
public:
    virtual ~Files() = default;
    virtual void Close(FileId file) noexcept = 0;
};

class RecordingFiles final : public Files {
public:
    void Close(FileId file) noexcept override { closed.push_back(file); }
    std::vector<FileId> closed;
};

using ScopedFile = ServiceHandle<Files, FileId, &Files::Close, NoneIs<FileId, kNoFile>>;

TEST(ServiceHandle, ClosesItsHandleOnceThroughItsService) {
    RecordingFiles files;
    {
        ScopedFile file(files, 7);
        EXPECT_TRUE(file.IsValid());
        EXPECT_EQ(file.Get(), 7u);
    }
    EXPECT_EQ(files.closed, std::vector<FileId>{7});

    ScopedFile file(files, 8);
    file.Reset();
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(file.Get(), kNoFile);
    file.Reset();
    EXPECT_EQ(files.closed, (std::vector<FileId>{7, 8}));
}

TEST(ServiceHandle, NoneIsNeverClosed) {
    RecordingFiles files;
    { ScopedFile failedOpen(files, kNoFile); EXPECT_FALSE(failedOpen.IsValid()); }
    { ScopedFile empty; EXPECT_FALSE(empty.IsValid()); }
    EXPECT_TRUE(files.closed.empty());
}

TEST(ServiceHandle, MovingHandsTheHandleOnAndClosesWhatItReplaces) {
    RecordingFiles first;
    RecordingFiles second;
    ScopedFile a(first, 1);
    ScopedFile b(std::move(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.Get(), 1u);

    ScopedFile c(second, 2);
    c = std::move(b);  // 2 goes at once, through the service that opened it
    EXPECT_EQ(second.closed, std::vector<FileId>{2});
    EXPECT_TRUE(first.closed.empty());
    EXPECT_EQ(c.Get(), 1u);

    c.Reset(second, 3);  // 1 goes through its own service, 3 is held for the other
    EXPECT_EQ(first.closed, std::vector<FileId>{1});
    c.Reset();
    EXPECT_EQ(second.closed, (std::vector<FileId>{2, 3}));

    ScopedFile d(first, 4);
    ScopedFile& alias = d;
    d = std::move(alias);  // moving onto itself keeps the handle open
    EXPECT_EQ(d.Get(), 4u);
    EXPECT_EQ(first.closed, std::vector<FileId>{1});
}

// A handle type with two "none" values, the way Win32 reports failure with NULL or
// with INVALID_HANDLE_VALUE.
struct TwoNones {
    static constexpr int kNone = 0;
    static constexpr bool IsValid(int handle) noexcept { return handle != 0 && handle != -1; }
};

class IntService {
public:
    void Close(int handle) noexcept { closed.push_back(handle); }
    std::vector<int> closed;
};

TEST(ServiceHandle, EveryNoneValueOfTheTraitsCounts) {
    IntService service;
    { ServiceHandle<IntService, int, &IntService::Close, TwoNones> failed(service, -1); EXPECT_FALSE(failed.IsValid()); }
    { ServiceHandle<IntService, int, &IntService::Close, TwoNones> held(service, 5); }
    EXPECT_EQ(service.closed, std::vector<int>{5});
}

}  // namespace
