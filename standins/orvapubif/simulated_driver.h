// The behaviour of the stand-in driver library: the 16 driver functions over
// simulated screens kept in a screens file. The file and the call log are
// reached through two narrow interfaces, so this builds and is tested natively;
// the DLL supplies the Windows file, mutex and log.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "OrvaPubIf.h"
#include "screens_file.h"

namespace orva_sim {

// The statuses the stand-in returns; 0 is success as the contract requires.
enum Status : std::int32_t {
    kOk = 0,
    kBadArgument = 1,       // a null address, or a mouse mode wider than 16 bits
    kUnknownScreen = 2,     // no screen with that index in the screens file
    kSimulatedFailure = 3,  // a failure the screens file asked for
    kNoAnswer = 4,          // a response read with no answered command sent before it
    kScreensFileError = 5,  // the screens file is missing, malformed, locked or cannot be rewritten
};

// The screens file, with the lock that makes a read-modify-write atomic
// against other processes.
class ScreensStore {
public:
    virtual ~ScreensStore() = default;
    [[nodiscard]] virtual bool Lock() = 0;
    virtual void Unlock() = 0;
    [[nodiscard]] virtual bool Read(std::string& text) = 0;
    [[nodiscard]] virtual bool Write(const std::string& text) = 0;
};

// Receives one finished line (no line feed) per call; may drop it when logging is off.
class CallLog {
public:
    virtual ~CallLog() = default;
    virtual void Append(const std::string& line) = 0;
};

class SimulatedDriver {
public:
    SimulatedDriver(ScreensStore& store, CallLog& log) : store_(store), log_(log) {}
    SimulatedDriver(const SimulatedDriver&) = delete;
    SimulatedDriver& operator=(const SimulatedDriver&) = delete;

    std::int32_t GetScreenInfo(std::int32_t reserved, std::int32_t* count);
    std::int32_t GetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index);
    std::int32_t SendCuelineCommand(CuelinePacket* packet);
    std::int32_t GetCuelineResponse(CuelinePacket* packet);
    std::int32_t GetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index);
    std::int32_t SetTouchBoundary(const TouchBoundaryBlock* block, std::int32_t index);
    std::int32_t GetBeep(BeepBlock* block, std::int32_t index);
    std::int32_t SetBeep(const BeepBlock* block, std::int32_t index);
    std::int32_t GetDragDelay(DragDelayBlock* block, std::int32_t index);
    std::int32_t SetDragDelay(const DragDelayBlock* block, std::int32_t index);
    std::int32_t GetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index);
    std::int32_t SetRightClickOnHold(const RightClickOnHoldBlock* block, std::int32_t index);
    std::int32_t GetCalibrationData(CalibrationBlock* block, std::int32_t index);
    std::int32_t SetCalibrationData(const CalibrationBlock* block, std::int32_t index);
    std::int32_t GetMouseMode(std::uint16_t* mode, std::int32_t index);
    std::int32_t SetMouseMode(std::uint32_t mode, std::int32_t index);

private:
    struct Loaded;
    [[nodiscard]] std::int32_t Load(Loaded& loaded);
    [[nodiscard]] std::int32_t LoadScreen(Loaded& loaded, std::int32_t index);
    [[nodiscard]] std::int32_t StoreValue(Loaded& loaded, std::int32_t index, const std::string& key,
                                          const std::string& value);
    std::int32_t GetBytes(const char* function, const char* key, std::uint8_t* out, std::size_t size,
                          std::int32_t index);
    std::int32_t SetBytes(const char* function, const char* key, const std::uint8_t* in, std::size_t size,
                          std::int32_t index);
    std::int32_t Finish(std::string line, std::int32_t status);

    ScreensStore& store_;
    CallLog& log_;
    std::mutex mutex_;  // one call at a time within this process
    std::map<std::int32_t, CommandBytes> lastCommand_;
};

// Lower-case hex digits without separators, as the call log writes byte fields.
[[nodiscard]] std::string HexField(const std::uint8_t* bytes, std::size_t size);

}  // namespace orva_sim
