#include "device_arrival.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A DEV_BROADCAST_DEVICEINTERFACE_A as Windows hands it over: header, class GUID, name.
std::vector<char> Record(std::uint32_t type, const std::string& name, bool terminate = true) {
    std::vector<char> bytes(kInterfaceNameOffset + name.size() + (terminate ? 1 : 0), '\0');
    const auto size = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &size, 4);
    std::memcpy(bytes.data() + 4, &type, 4);
    std::memcpy(bytes.data() + kInterfaceNameOffset, name.data(), name.size());
    return bytes;
}

TEST(IsControllerArrival, MatchesTheControllerInAnyLetterCase) {
    const struct {
        const char* name;
        bool matches;
    } cases[] = {
        {"\\\\?\\HID#Vid_0a7c&Pid_0030&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true},
        {"\\\\?\\HID#VID_0A7C&PID_0030&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true},
        {"\\\\?\\hid#vid_0a7c&pid_0030#8&2c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true},
        {"HID#Vid_0a7c&Pid_0030", true},
        {"\\\\?\\HID#VID_0A7C&PID_0031&MI_00#7&1a2b", false},
        {"\\\\?\\HID#VID_0B7C&PID_0030&MI_00#7&1a2b", false},
        {"\\\\?\\USB#VID_0A7C&PID_0030#5&1a2b", false},
        {"HID#Vid_0a7c&Pid_003", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsControllerArrival(kDeviceArrival, Record(kDeviceInterfaceType, c.name).data()), c.matches)
            << c.name;
    }
}

TEST(IsControllerArrival, OnlyDeviceInterfaceArrivalsCount) {
    const std::vector<char> record = Record(kDeviceInterfaceType, "\\\\?\\HID#VID_0A7C&PID_0030");
    EXPECT_FALSE(IsControllerArrival(0x8004, record.data()));  // removal complete
    EXPECT_FALSE(IsControllerArrival(0x0007, record.data()));  // devnodes changed
    // The event is tested first: other events may come without any record.
    EXPECT_FALSE(IsControllerArrival(0x0007, nullptr));
    EXPECT_FALSE(IsControllerArrival(kDeviceArrival, nullptr));
    for (std::uint32_t type : {0u, 2u, 3u, 6u}) {  // OEM, volume, port, handle
        EXPECT_FALSE(IsControllerArrival(kDeviceArrival, Record(type, "HID#Vid_0a7c&Pid_0030").data())) << type;
    }
}

TEST(IsControllerArrival, NeverReadsPastTheRecordSize) {
    // The name runs to the very end of the record without a NUL: the bytes after it
    // are not part of the record (ASan watches the heap block's end).
    std::vector<char> exact = Record(kDeviceInterfaceType, "\\\\?\\HID#VID_0A7C&PID_0030", false);
    EXPECT_TRUE(IsControllerArrival(kDeviceArrival, exact.data()));

    std::vector<char> cut = Record(kDeviceInterfaceType, "\\\\?\\HID#VID_0A7C&PID_003", false);
    EXPECT_FALSE(IsControllerArrival(kDeviceArrival, cut.data()));

    // A size that claims less than the name holds hides the rest of the name.
    std::vector<char> shortened = Record(kDeviceInterfaceType, "\\\\?\\HID#VID_0A7C&PID_0030");
    const std::uint32_t claimed = kInterfaceNameOffset + 10;
    std::memcpy(shortened.data(), &claimed, 4);
    EXPECT_FALSE(IsControllerArrival(kDeviceArrival, shortened.data()));

    // A bare header without a name.
    std::vector<char> header = Record(kDeviceInterfaceType, "", false);
    EXPECT_FALSE(IsControllerArrival(kDeviceArrival, header.data()));
}

// A record too short to reach the name: only its own bytes exist (ASan watches them).
TEST(IsControllerArrival, RecordsThatEndBeforeTheNameNeverMatch) {
    for (std::uint32_t size = 8; size < kInterfaceNameOffset; ++size) {
        std::vector<char> record(size, 'H');
        std::memcpy(record.data(), &size, 4);
        std::memcpy(record.data() + 4, &kDeviceInterfaceType, 4);
        EXPECT_FALSE(IsControllerArrival(kDeviceArrival, record.data())) << size;
    }
}

}  // namespace
