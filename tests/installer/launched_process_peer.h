// Reaches inside a LaunchedProcess for tests: the record of the process it started.
#pragma once

#include "process_objects.h"

struct LaunchedProcessPeer {
    static OsHandle Process(const LaunchedProcess& launched) { return launched.process_.Get(); }
    static OsHandle Thread(const LaunchedProcess& launched) { return launched.thread_.Get(); }
    static std::uint32_t ProcessId(const LaunchedProcess& launched) { return launched.processId_; }
};
