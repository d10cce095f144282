// Frames between the client library and the world server.
#include <gtest/gtest.h>

#include "world/wire_protocol.h"

namespace gorvale::wire {
namespace {

TEST(WireProtocol, FieldsComeBackAsWrittenAndEveryPrefixIsIncomplete) {
    FrameWriter w(Message::ObjectAdd);
    w.i32(7).i32(-123456).text("model.rwx").text("").text(std::string(300, 'a'));
    const std::string frame = w.finish();
    for (std::size_t n = 0; n < frame.size(); ++n) {
        FrameView v;
        EXPECT_EQ(PeekFrame(std::string_view(frame).substr(0, n), v), FrameStatus::Incomplete) << n;
    }
    FrameView v;
    const std::string buffer = frame + "tail";
    ASSERT_EQ(PeekFrame(buffer, v), FrameStatus::Ready);
    EXPECT_EQ(v.type, Message::ObjectAdd);
    EXPECT_EQ(v.consumed, frame.size());
    FrameReader r(v.fields);
    EXPECT_EQ(r.i32(), 7);
    EXPECT_EQ(r.i32(), -123456);
    EXPECT_EQ(r.text(), "model.rwx");
    EXPECT_EQ(r.text(), "");
    EXPECT_EQ(r.text(), std::string(kMaxText, 'a'));  // cut at the longest text
    EXPECT_TRUE(r.complete());
    r.i32();
    EXPECT_TRUE(r.failed());
}

TEST(WireProtocol, RefusesHugeLengthsAndStrangers) {
    FrameView v;
    const std::string huge("\xff\xff\xff\x7f\x01\x03", 6);
    EXPECT_EQ(PeekFrame(huge, v), FrameStatus::TooLong);
    const std::string justOver = std::string("\x01\x00\x01\x00", 4);  // 65537
    EXPECT_EQ(PeekFrame(justOver, v), FrameStatus::TooLong);
    EXPECT_EQ(PeekFrame(std::string("\x10\x00\x00\x00\x09", 5), v), FrameStatus::BadVersion);
    EXPECT_EQ(PeekFrame(std::string("\x01\x00\x00\x00\x01", 5), v), FrameStatus::BadVersion);  // no type
    EXPECT_EQ(PeekFrame("GET / HTTP/1.1\r\n", v), FrameStatus::TooLong);
}

TEST(WireProtocol, ATextLongerThanItsFrameFails) {
    FrameWriter w(Message::Enter);
    w.i32(1);
    std::string frame = w.finish();
    std::string fields = frame.substr(kLengthBytes + 2) + std::string("\x10\x00" "abc", 5);
    FrameReader r(fields);
    r.i32();
    EXPECT_EQ(r.text(), "");
    EXPECT_TRUE(r.failed());
}

}  // namespace
}  // namespace gorvale::wire
