#include "dialog_routing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const char* Name(DialogHandler handler) {
    switch (handler) {
    case DialogHandler::kNone: return "none";
    case DialogHandler::kInitDialog: return "init dialog";
    case DialogHandler::kDeviceChange: return "device change";
    case DialogHandler::kSessionEnd: return "session end";
    case DialogHandler::kHideWindow: return "hide window";
    case DialogHandler::kPaint: return "paint";
    case DialogHandler::kDragIcon: return "drag icon";
    case DialogHandler::kCommand: return "command";
    case DialogHandler::kDestroy: return "destroy";
    case DialogHandler::kNcDestroy: return "nc destroy";
    }
    return "?";
}

TEST(RouteDialogMessage, EachMessageReachesItsHandlerAndIsAnsweredAsWindowsExpects) {
    const struct {
        std::uint32_t message;
        DialogHandler handler;
        PassOn passOn;
        DialogAnswer answer;
    } cases[] = {
        // Seen by the detector, then answered by the default handling.
        {0x0219, DialogHandler::kDeviceChange, PassOn::kAlways, DialogAnswer::kDefault},
        // Saved and answered TRUE here; the default handling never sees it.
        {0x0011, DialogHandler::kSessionEnd, PassOn::kNever, DialogAnswer::kTrue},
        {0x0110, DialogHandler::kInitDialog, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult},
        // No frame is ever drawn: the default handling would draw one.
        {0x0085, DialogHandler::kHideWindow, PassOn::kNever, DialogAnswer::kHandled},
        {0x000F, DialogHandler::kPaint, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult},
        {0x0037, DialogHandler::kDragIcon, PassOn::kNever, DialogAnswer::kHandlerResult},
        {0x0111, DialogHandler::kCommand, PassOn::kWhenHandlerDeclines, DialogAnswer::kHandlerResult},
        {0x0002, DialogHandler::kDestroy, PassOn::kAlways, DialogAnswer::kDefault},
        {0x0082, DialogHandler::kNcDestroy, PassOn::kAlways, DialogAnswer::kDefault},
        // A close request, the session's end itself and a timer are the default handling's alone.
        {0x0010, DialogHandler::kNone, PassOn::kAlways, DialogAnswer::kDefault},
        {0x0016, DialogHandler::kNone, PassOn::kAlways, DialogAnswer::kDefault},
        {0x0113, DialogHandler::kNone, PassOn::kAlways, DialogAnswer::kDefault},
    };
    for (const auto& c : cases) {
        const DialogRoute route = RouteDialogMessage(c.message);
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message);
        EXPECT_STREQ(Name(route.handler), Name(c.handler));
        EXPECT_EQ(route.passOn, c.passOn);
        EXPECT_EQ(route.answer, c.answer);
    }
}

// Across every system message: what is passed on always is answered by the default
// handling, what is never passed on is answered here, and only the messages above
// have a handler.
TEST(RouteDialogMessage, PassingOnAndAnsweringAgreeForEveryMessage) {
    int handled = 0;
    for (std::uint32_t message = 0; message < 0x0400; ++message) {
        const DialogRoute route = RouteDialogMessage(message);
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << message);
        EXPECT_EQ(route.passOn == PassOn::kAlways, route.answer == DialogAnswer::kDefault);
        if (route.handler != DialogHandler::kNone) {
            ++handled;
        } else {
            EXPECT_EQ(route.passOn, PassOn::kAlways);
        }
    }
    EXPECT_EQ(handled, 9);
}

}  // namespace
