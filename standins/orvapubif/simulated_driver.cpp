#include "simulated_driver.h"

#include <cstring>

namespace orva_sim {

// The screens file as read under the store's lock; the lock ends with it.
struct SimulatedDriver::Loaded {
    explicit Loaded(ScreensStore& s) : store(s) {}
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded() {
        if (locked) store.Unlock();
    }
    ScreensStore& store;
    bool locked = false;
    std::string text;
    ScreensModel model;
    SimScreen* screen = nullptr;
};

namespace {

// A failed response read leaves junk in the packet, as a real driver may, so
// that a caller which does not restore its packet before resending is caught.
constexpr std::uint8_t kJunkByte = 0xEE;

std::string Field(const char* name, const std::string& value) {
    return std::string(" ") + name + "=" + value;
}

std::string IndexField(std::int32_t index) {
    return Field("index", std::to_string(index));
}

std::string BeepField(const BeepBlock& b) {
    return Field("beep", std::to_string(b.beeperFunction) + "," + std::to_string(b.beeperFrequency) + "," +
                             std::to_string(b.beeperDuration) + "," + std::to_string(b.beeperRouting));
}

// Consumes one failure from a counter; true when the call is to fail.
bool TakeFailure(std::int32_t& counter) {
    if (counter == 0) return false;
    if (counter != kAlways) --counter;
    return true;
}

std::uint8_t* BlockBytes(SimScreen& s, const std::string& key) {
    if (key == "touchBoundary") return s.touchBoundary.data();
    if (key == "dragDelay") return s.dragDelay.data();
    if (key == "rightClickOnHold") return s.rightClickOnHold.data();
    return s.calibration.data();
}

const CommandBytes* ScriptedAnswer(const SimScreen& screen, const CommandBytes& command) {
    if (command[0] != 'u') return nullptr;
    switch (command[1]) {
        case 'S': return &screen.uS;
        case 'C': return &screen.uC;
        case 'N': return &screen.uN;
        default: return nullptr;
    }
}

}  // namespace

std::string HexField(const std::uint8_t* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

std::int32_t SimulatedDriver::Finish(std::string line, std::int32_t status) {
    line += Field("status", std::to_string(status));
    log_.Append(line);
    return status;
}

std::int32_t SimulatedDriver::Load(Loaded& loaded) {
    if (!store_.Lock()) return kScreensFileError;
    loaded.locked = true;
    if (!store_.Read(loaded.text)) {
        log_.Append("# screens file cannot be read");
        return kScreensFileError;
    }
    ParseResult parsed = ParseScreensFile(loaded.text);
    if (!parsed.ok) {
        log_.Append("# screens file line " + std::to_string(parsed.errorLine) + ": " + parsed.error);
        return kScreensFileError;
    }
    loaded.model = std::move(parsed.model);
    return kOk;
}

std::int32_t SimulatedDriver::LoadScreen(Loaded& loaded, std::int32_t index) {
    const std::int32_t status = Load(loaded);
    if (status != kOk) return status;
    if (index < 0 || static_cast<std::size_t>(index) >= loaded.model.screens.size()) return kUnknownScreen;
    loaded.screen = &loaded.model.screens[static_cast<std::size_t>(index)];
    return kOk;
}

std::int32_t SimulatedDriver::StoreValue(Loaded& loaded, std::int32_t index, const std::string& key,
                                         const std::string& value) {
    if (!SetScreenValue(loaded.text, index, key, value)) return kScreensFileError;
    return store_.Write(loaded.text) ? kOk : kScreensFileError;
}

std::int32_t SimulatedDriver::GetScreenInfo(std::int32_t reserved, std::int32_t* count) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaGetScreenInfo";
    if (count == nullptr) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    std::int32_t status = Load(loaded);
    if (status == kOk && loaded.model.screenInfoFails) status = kSimulatedFailure;
    if (status == kOk) {
        *count = static_cast<std::int32_t>(loaded.model.screens.size());
        line += Field("count", std::to_string(*count));
    }
    return Finish(line, status);
}

std::int32_t SimulatedDriver::GetDiagnosticsData(DiagnosticsBlock* block, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaGetDiagnosticsData" + IndexField(index);
    if (block == nullptr) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status == kOk && loaded.screen->diagnosticsFails) status = kSimulatedFailure;
    if (status == kOk) {
        std::memset(block, 0, sizeof *block);
        block->connectionType = loaded.screen->connectionType;
        line += Field("connectionType", std::to_string(block->connectionType));
    }
    return Finish(line, status);
}

std::int32_t SimulatedDriver::SendCuelineCommand(CuelinePacket* packet) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaSendCuelineCommand";
    if (packet == nullptr) return Finish(line, kBadArgument);
    const std::int32_t index = packet->screenIndex;
    line += IndexField(index) + Field("bytes", HexField(packet->commandBytes, sizeof packet->commandBytes));
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    const std::int32_t before = loaded.screen->sendFailures;
    if (TakeFailure(loaded.screen->sendFailures)) {
        if (loaded.screen->sendFailures != before)
            status = StoreValue(loaded, index, "sendFailures", FormatCounterValue(loaded.screen->sendFailures));
        return Finish(line, status == kOk ? kSimulatedFailure : status);
    }
    CommandBytes command;
    std::memcpy(command.data(), packet->commandBytes, command.size());
    lastCommand_[index] = command;
    return Finish(line, kOk);
}

std::int32_t SimulatedDriver::GetCuelineResponse(CuelinePacket* packet) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaGetCuelineResponse";
    if (packet == nullptr) return Finish(line, kBadArgument);
    const std::int32_t index = packet->screenIndex;
    line += IndexField(index);
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    const std::int32_t before = loaded.screen->responseFailures;
    if (TakeFailure(loaded.screen->responseFailures)) {
        if (loaded.screen->responseFailures != before)
            status = StoreValue(loaded, index, "responseFailures",
                                FormatCounterValue(loaded.screen->responseFailures));
        std::memset(packet->commandBytes, kJunkByte, sizeof packet->commandBytes);
        return Finish(line, status == kOk ? kSimulatedFailure : status);
    }
    const auto last = lastCommand_.find(index);
    const CommandBytes* answer = last == lastCommand_.end() ? nullptr : ScriptedAnswer(*loaded.screen, last->second);
    if (answer == nullptr) return Finish(line, kNoAnswer);
    std::memcpy(packet->commandBytes, answer->data(), answer->size());
    line += Field("bytes", HexField(answer->data(), answer->size()));
    return Finish(line, kOk);
}

std::int32_t SimulatedDriver::GetBytes(const char* function, const char* key, std::uint8_t* out, std::size_t size,
                                       std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = function + IndexField(index);
    if (out == nullptr) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    const std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    std::memcpy(out, BlockBytes(*loaded.screen, key), size);
    return Finish(line + Field("bytes", HexField(out, size)), kOk);
}

std::int32_t SimulatedDriver::SetBytes(const char* function, const char* key, const std::uint8_t* in,
                                       std::size_t size, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = function + IndexField(index);
    if (in == nullptr) return Finish(line, kBadArgument);
    line += Field("bytes", HexField(in, size));
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    const std::uint8_t* current = BlockBytes(*loaded.screen, key);
    // An unchanged value leaves the file untouched: applying settings stays cheap.
    if (std::memcmp(current, in, size) != 0) status = StoreValue(loaded, index, key, FormatBytesValue(in, size));
    return Finish(line, status);
}

std::int32_t SimulatedDriver::GetTouchBoundary(TouchBoundaryBlock* block, std::int32_t index) {
    return GetBytes("OrvaGetTouchBoundary", "touchBoundary", block ? block->bytes : nullptr, sizeof block->bytes,
                    index);
}

std::int32_t SimulatedDriver::SetTouchBoundary(const TouchBoundaryBlock* block, std::int32_t index) {
    return SetBytes("OrvaSetTouchBoundary", "touchBoundary", block ? block->bytes : nullptr, sizeof block->bytes,
                    index);
}

std::int32_t SimulatedDriver::GetDragDelay(DragDelayBlock* block, std::int32_t index) {
    return GetBytes("OrvaGetDragDelay", "dragDelay", block ? block->bytes : nullptr, sizeof block->bytes, index);
}

std::int32_t SimulatedDriver::SetDragDelay(const DragDelayBlock* block, std::int32_t index) {
    return SetBytes("OrvaSetDragDelay", "dragDelay", block ? block->bytes : nullptr, sizeof block->bytes, index);
}

std::int32_t SimulatedDriver::GetRightClickOnHold(RightClickOnHoldBlock* block, std::int32_t index) {
    return GetBytes("OrvaGetRightClickOnHold", "rightClickOnHold", block ? block->bytes : nullptr,
                    sizeof block->bytes, index);
}

std::int32_t SimulatedDriver::SetRightClickOnHold(const RightClickOnHoldBlock* block, std::int32_t index) {
    return SetBytes("OrvaSetRightClickOnHold", "rightClickOnHold", block ? block->bytes : nullptr,
                    sizeof block->bytes, index);
}

std::int32_t SimulatedDriver::GetCalibrationData(CalibrationBlock* block, std::int32_t index) {
    return GetBytes("OrvaGetCalibrationData", "calibration", block ? block->bytes : nullptr, sizeof block->bytes,
                    index);
}

std::int32_t SimulatedDriver::SetCalibrationData(const CalibrationBlock* block, std::int32_t index) {
    return SetBytes("OrvaSetCalibrationData", "calibration", block ? block->bytes : nullptr, sizeof block->bytes,
                    index);
}

std::int32_t SimulatedDriver::GetBeep(BeepBlock* block, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaGetBeep" + IndexField(index);
    if (block == nullptr) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    const std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    const BeepValues& v = loaded.screen->beep;
    *block = BeepBlock{v.beeperFunction, v.beeperFrequency, v.beeperDuration, v.beeperRouting};
    return Finish(line + BeepField(*block), kOk);
}

std::int32_t SimulatedDriver::SetBeep(const BeepBlock* block, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaSetBeep" + IndexField(index);
    if (block == nullptr) return Finish(line, kBadArgument);
    line += BeepField(*block);
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    const BeepValues wanted{block->beeperFunction, block->beeperFrequency, block->beeperDuration,
                            block->beeperRouting};
    const std::string value = FormatBeepValue(wanted);
    if (value != FormatBeepValue(loaded.screen->beep)) status = StoreValue(loaded, index, "beep", value);
    return Finish(line, status);
}

std::int32_t SimulatedDriver::GetMouseMode(std::uint16_t* mode, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaGetMouseMode" + IndexField(index);
    if (mode == nullptr) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    const std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    *mode = loaded.screen->mouseMode;
    return Finish(line + Field("mode", std::to_string(*mode)), kOk);
}

std::int32_t SimulatedDriver::SetMouseMode(std::uint32_t mode, std::int32_t index) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string line = "OrvaSetMouseMode" + IndexField(index) + Field("mode", std::to_string(mode));
    // The mode is 16 bits widened with zeros; anything above is not a mode.
    if (mode > 0xFFFF) return Finish(line, kBadArgument);
    Loaded loaded(store_);
    std::int32_t status = LoadScreen(loaded, index);
    if (status != kOk) return Finish(line, status);
    if (loaded.screen->mouseMode != mode) status = StoreValue(loaded, index, "mouseMode", std::to_string(mode));
    return Finish(line, status);
}

}  // namespace orva_sim
