#include "session_guard.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FakeGuard final : public SessionGuardApi {
public:
    explicit FakeGuard(GuardWait result) : result_(result) {}
    GuardWait Acquire(std::uint32_t milliseconds) noexcept override {
        waits.push_back(milliseconds);
        return result_;
    }
    void RegisterRestart(std::uint32_t flags) noexcept override { restarts.push_back(flags); }

    std::vector<std::uint32_t> waits;
    std::vector<std::uint32_t> restarts;

private:
    GuardWait result_;
};

// A detector runs, and asks to be restarted after updates, only while it holds the guard.
TEST(SessionGuard, RunsOnlyWithTheGuardAndThenRegistersItsRestart) {
    const struct {
        GuardWait wait;
        bool runs;
    } cases[] = {
        {GuardWait::kGot, true},
        {GuardWait::kAbandoned, true},  // its holder was terminated
        {GuardWait::kTimedOut, false},
        {GuardWait::kNotCreated, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.wait));
        FakeGuard guard(c.wait);
        EXPECT_EQ(ClaimSession(guard), c.runs);
        EXPECT_EQ(guard.waits, std::vector<std::uint32_t>{2000});
        // RESTART_NO_CRASH | RESTART_NO_HANG | RESTART_NO_REBOOT
        EXPECT_EQ(guard.restarts, c.runs ? std::vector<std::uint32_t>{0x1 | 0x2 | 0x8} : std::vector<std::uint32_t>{});
    }
}

}  // namespace
