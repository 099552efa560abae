#include "dialog_routing.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::intptr_t kIcon = 0x5A5A;  // a handle the drag-icon handler answers with

// What the dialog procedure returns for each message, and whether TRUE goes to
// DWLP_MSGRESULT first, after its handler answered handlerResult. A FALSE return
// hands the message to the default dialog handling.
TEST(DialogReply, EachMessageIsAnsweredAsWindowsExpects) {
    const struct {
        std::uint32_t message;
        DialogHandler handler;
        std::intptr_t handlerResult;
        std::intptr_t returned;
        bool setsMessageResult;
    } cases[] = {
        // The session may end, whatever the save did: TRUE as the message's own result.
        {kWmQueryEndSession, DialogHandler::kSessionEnd, 0, 1, true},
        // The end itself, or an installer's close, is answered 0 by the default handling,
        // whether the dialog ended (TRUE) or keeps watching (FALSE).
        {kWmEndSession, DialogHandler::kEndSession, 0, 0, false},
        {kWmEndSession, DialogHandler::kEndSession, 1, 0, false},
        // Seen by the detector, then answered by the default handling.
        {kWmDeviceChange, DialogHandler::kDeviceChange, 0, 0, false},
        {kWmDestroy, DialogHandler::kDestroy, 0, 0, false},
        {kWmNcDestroy, DialogHandler::kNcDestroy, 0, 0, false},
        // No frame is ever drawn: the default handling would draw one.
        {kWmNcPaint, DialogHandler::kHideWindow, 0, 1, false},
        // The handler's own answer, where it has one; its FALSE passes the message on.
        {kWmQueryDragIcon, DialogHandler::kDragIcon, kIcon, kIcon, false},
        {kWmInitDialog, DialogHandler::kInitDialog, 1, 1, false},
        {kWmInitDialog, DialogHandler::kInitDialog, 0, 0, false},
        {kWmPaint, DialogHandler::kPaint, 1, 1, false},
        {kWmPaint, DialogHandler::kPaint, 0, 0, false},
        {kWmCommand, DialogHandler::kCommand, 1, 1, false},
        {kWmCommand, DialogHandler::kCommand, 0, 0, false},
        // A close request and a timer are the default handling's alone.
        {0x0010, DialogHandler::kNone, 0, 0, false},
        {0x0113, DialogHandler::kNone, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message << " handler result " << c.handlerResult);
        EXPECT_EQ(HandlerFor(c.message), c.handler);
        const DialogReply reply = ReplyFor(c.message, c.handlerResult);
        EXPECT_EQ(reply.returned, c.returned);
        EXPECT_EQ(reply.setsMessageResult, c.setsMessageResult);
    }
}

// Across every system message: only the messages above have a handler, and one
// without a handler is always the default handling's.
TEST(DialogReply, MessagesWithoutAHandlerArePassedOn) {
    int handled = 0;
    for (std::uint32_t message = 0; message < 0x0400; ++message) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << message);
        if (HandlerFor(message) != DialogHandler::kNone) {
            ++handled;
            continue;
        }
        const DialogReply reply = ReplyFor(message, 1);
        EXPECT_EQ(reply.returned, 0);
        EXPECT_FALSE(reply.setsMessageResult);
    }
    EXPECT_EQ(handled, 10);
}

}  // namespace
