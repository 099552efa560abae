// Test helper: another process holding the settings file open.
//   settings_file_holder <file> <share-delete 0|1> <ready-event> <go-event> <out-file>
// Opens file for reading (sharing read and write, delete too when asked), signals
// ready-event, waits for go-event, then copies what its handle reads from the
// start into out-file. Exit code 0 on success, 2 when the file could not be opened.
#include "unique_handle.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 6) return 1;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (std::atoi(argv[2]) ? FILE_SHARE_DELETE : 0);
    UniqueHandle file(CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]));
    UniqueHandle go(OpenEventA(SYNCHRONIZE, FALSE, argv[4]));
    if (!ready || !go) return 1;
    SetEvent(ready.Get());
    if (!file) return 2;
    if (WaitForSingleObject(go.Get(), 30000) != WAIT_OBJECT_0) return 1;
    static char buffer[65536];
    DWORD got = 0;
    SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return 1;
    UniqueHandle out(CreateFileA(argv[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(out.Get(), buffer, got, &written, nullptr);
    return ok && written == got ? 0 : 1;
}
