#include "dialog_routing.h"

DialogHandler HandlerFor(std::uint32_t message) noexcept {
    switch (message) {
    case kWmDeviceChange: return DialogHandler::kDeviceChange;
    case kWmQueryEndSession: return DialogHandler::kSessionEnd;
    case kWmEndSession: return DialogHandler::kEndSession;
    case kWmInitDialog: return DialogHandler::kInitDialog;
    case kWmNcPaint: return DialogHandler::kHideWindow;
    case kWmPaint: return DialogHandler::kPaint;
    case kWmQueryDragIcon: return DialogHandler::kDragIcon;
    case kWmCommand: return DialogHandler::kCommand;
    case kWmDestroy: return DialogHandler::kDestroy;
    case kWmNcDestroy: return DialogHandler::kNcDestroy;
    default: return DialogHandler::kNone;
    }
}

DialogReply ReplyFor(std::uint32_t message, std::intptr_t handlerResult) noexcept {
    switch (message) {
    case kWmQueryEndSession:
        // The session may end whatever the save achieved; the default handling never
        // sees the query.
        return {1, true};
    case kWmNcPaint:
        // Answered here, so that the default handling draws no frame.
        return {1, false};
    case kWmInitDialog:
    case kWmPaint:
    case kWmQueryDragIcon:
    case kWmCommand:
        return {handlerResult, false};
    default:
        // Seen (device change, destroy) or not, the default handling answers.
        return {0, false};
    }
}
