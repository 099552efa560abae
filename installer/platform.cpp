#include "platform.h"

InstallerPlatform& Platform() noexcept {
    static InstallerPlatform platform;
    return platform;
}
