// dbwin_capture: prints the debug output (OutputDebugStringA) of every process
// in the session, the way debug-output viewers read it: through the shared
// DBWIN_BUFFER and its two events. Runs until killed or for --seconds N.
// Writes "capture ready" to stderr once it listens; each message goes to
// stdout as one line, exactly as written (a line feed added when it has none).
#include <windows.h>

#include "unique_handle.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class MappedView {
public:
    explicit MappedView(void* view) noexcept : view_(view) {}
    ~MappedView() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    const char* bytes() const noexcept { return static_cast<const char*>(view_); }

private:
    void* view_;
};

constexpr DWORD kBufferSize = 4096;

}  // namespace

int main(int argc, char** argv) {
    // The text exactly as written: no CR added before line feeds.
    _setmode(_fileno(stdout), _O_BINARY);
    DWORD seconds = 0;  // 0: until killed
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::strtoul(argv[i + 1], nullptr, 10);
    }
    UniqueHandle bufferReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY"));
    if (bufferReady && GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "another debug-output reader is running\n");
        return 1;
    }
    UniqueHandle dataReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY"));
    UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, "DBWIN_BUFFER"));
    if (!bufferReady || !dataReady || !mapping) {
        std::fprintf(stderr, "cannot create the debug-output buffer (%lu)\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, kBufferSize));
    if (view.bytes() == nullptr) {
        std::fprintf(stderr, "cannot map the debug-output buffer (%lu)\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::fprintf(stderr, "capture ready\n");
    std::fflush(stderr);

    const DWORD start = GetTickCount();
    char text[kBufferSize];
    for (;;) {
        SetEvent(bufferReady.Get());
        while (WaitForSingleObject(dataReady.Get(), 200) != WAIT_OBJECT_0) {
            if (seconds != 0 && GetTickCount() - start >= seconds * 1000) return 0;
        }
        // The writer's process id, then its text, NUL-terminated within the buffer.
        const char* message = view.bytes() + sizeof(DWORD);
        const std::size_t room = kBufferSize - sizeof(DWORD);
        const void* end = std::memchr(message, '\0', room);
        const std::size_t length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - message) : room - 1;
        std::memcpy(text, message, length);
        text[length] = '\0';
        std::fputs(text, stdout);
        if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}
