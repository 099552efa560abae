// Reaches inside the process objects for tests: what each one holds.
#pragma once

#include "process_objects.h"

struct RunningProcessPeer {
    static std::size_t HeldCount(const RunningProcess& running) { return running.processes_.size(); }
};

struct LaunchedProcessPeer {
    static OsHandle Process(const LaunchedProcess& launched) { return launched.process_.Get(); }
    static OsHandle Thread(const LaunchedProcess& launched) { return launched.thread_.Get(); }
};
