#include "install_sequence.h"

// The steps around the installer engine come with the install sequence itself.
int Install(const char* commandLine) noexcept {
    (void)commandLine;
    return 0;
}
