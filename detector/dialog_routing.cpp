#include "dialog_routing.h"

DialogRoute RouteDialogMessage(std::uint32_t message) noexcept {
    switch (message) {
    case kWmDeviceChange:
        // The notification is seen first; the default handling still answers it.
        return {DialogHandler::kDeviceChange, PassOn::kAlways, DialogAnswer::kDefault};
    case kWmQueryEndSession:
        // The session may end whatever the save achieved; the default handling never
        // sees the query.
        return {DialogHandler::kSessionEnd, PassOn::kNever, DialogAnswer::kTrue};
    case kWmInitDialog:
        return {DialogHandler::kInitDialog, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult};
    case kWmNcPaint:
        return {DialogHandler::kHideWindow, PassOn::kNever, DialogAnswer::kHandled};
    case kWmPaint:
        return {DialogHandler::kPaint, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult};
    case kWmQueryDragIcon:
        return {DialogHandler::kDragIcon, PassOn::kNever, DialogAnswer::kHandlerResult};
    case kWmCommand:
        return {DialogHandler::kCommand, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult};
    case kWmDestroy:
        return {DialogHandler::kDestroy, PassOn::kAlways, DialogAnswer::kDefault};
    case kWmNcDestroy:
        return {DialogHandler::kNcDestroy, PassOn::kAlways, DialogAnswer::kDefault};
    default:
        return {DialogHandler::kNone, PassOn::kAlways, DialogAnswer::kDefault};
    }
}
