#include "world/wire_protocol.h"

namespace gorvale::wire {
namespace {

void putU32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint32_t getU32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

}  // namespace

FrameWriter::FrameWriter(Message type) {
    buf_.assign(kLengthBytes, '\0');
    buf_.push_back(static_cast<char>(kVersion));
    buf_.push_back(static_cast<char>(type));
}

FrameWriter& FrameWriter::i32(std::int32_t v) {
    putU32(buf_, static_cast<std::uint32_t>(v));
    return *this;
}

FrameWriter& FrameWriter::text(std::string_view s) {
    if (s.size() > kMaxText) s = s.substr(0, kMaxText);
    buf_.push_back(static_cast<char>(s.size() & 0xff));
    buf_.push_back(static_cast<char>(s.size() >> 8));
    buf_.append(s);
    return *this;
}

const std::string& FrameWriter::finish() {
    const std::uint32_t body = static_cast<std::uint32_t>(buf_.size() - kLengthBytes);
    for (std::size_t i = 0; i < kLengthBytes; ++i) buf_[i] = static_cast<char>((body >> (8 * i)) & 0xff);
    return buf_;
}

std::int32_t FrameReader::i32() {
    if (p_.size() < 4) {
        failed_ = true;
        p_ = {};
        return 0;
    }
    const std::uint32_t v = getU32(p_.data());
    p_.remove_prefix(4);
    return static_cast<std::int32_t>(v);
}

std::string FrameReader::text() {
    if (p_.size() < 2) {
        failed_ = true;
        p_ = {};
        return {};
    }
    const std::size_t n = static_cast<unsigned char>(p_[0]) | (static_cast<std::size_t>(static_cast<unsigned char>(p_[1])) << 8);
    p_.remove_prefix(2);
    if (n > kMaxText || p_.size() < n) {
        failed_ = true;
        p_ = {};
        return {};
    }
    std::string s(p_.substr(0, n));
    p_.remove_prefix(n);
    return s;
}

FrameStatus PeekFrame(std::string_view buffer, FrameView& out) {
    if (buffer.size() < kLengthBytes) return FrameStatus::Incomplete;
    const std::uint32_t body = getU32(buffer.data());
    if (body > kMaxFrameBody) return FrameStatus::TooLong;
    if (body < 2) return FrameStatus::BadVersion;  // no room for version and type
    if (buffer.size() < kLengthBytes + body) {
        // The version is checked as soon as it arrives, so a stranger speaking
        // another protocol is turned away without waiting for a whole frame.
        if (buffer.size() > kLengthBytes && static_cast<std::uint8_t>(buffer[kLengthBytes]) != kVersion)
            return FrameStatus::BadVersion;
        return FrameStatus::Incomplete;
    }
    if (static_cast<std::uint8_t>(buffer[kLengthBytes]) != kVersion) return FrameStatus::BadVersion;
    out.type = static_cast<Message>(static_cast<std::uint8_t>(buffer[kLengthBytes + 1]));
    out.fields = buffer.substr(kLengthBytes + 2, body - 2);
    out.consumed = kLengthBytes + body;
    return FrameStatus::Ready;
}

}  // namespace gorvale::wire
