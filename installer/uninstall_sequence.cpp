#include "uninstall_sequence.h"

// The steps around the installer engine come with the uninstall sequence itself.
int Uninstall(const char* commandLine) noexcept {
    (void)commandLine;
    return 0;
}
