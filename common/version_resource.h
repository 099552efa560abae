// The project's version as both resource scripts show it. CMake passes its parts
// (ORVA_VERSION_MAJOR, _MINOR, _PATCH) from project(... VERSION), the one place it is written.
#pragma once

#define ORVA_STRINGIFY2(x) #x
#define ORVA_STRINGIFY(x) ORVA_STRINGIFY2(x)
#define ORVA_VERSION_TEXT \
    ORVA_STRINGIFY(ORVA_VERSION_MAJOR) "." ORVA_STRINGIFY(ORVA_VERSION_MINOR) "." ORVA_STRINGIFY(ORVA_VERSION_PATCH) ".0"
