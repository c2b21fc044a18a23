// The wire format on its own: round trips, pieces, and every way a frame can be bad.
#include "devhost/nxtcpsock/frame_codec.h"

#include <gtest/gtest.h>

namespace devhost {
namespace {

std::deque<Record> decodeAll(const std::string& bytes, FrameDecoder::Status* status = nullptr) {
    FrameDecoder d;
    std::deque<Record> out;
    const auto s = d.feed(bytes.data(), bytes.size(), out);
    if (status) *status = s;
    return out;
}

std::string header(unsigned char m0, unsigned char m1, std::uint32_t label, std::uint32_t text) {
    std::string h;
    h += static_cast<char>(m0);
    h += static_cast<char>(m1);
    h += static_cast<char>(label >> 8);
    h += static_cast<char>(label);
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>(text >> shift);
    return h;
}

TEST(FrameCodec, RecordsSurviveTheRoundTripByteForByte) {
    std::string high;
    for (int c = 1; c < 256; ++c)
        high += static_cast<char>(c);
    const std::deque<Record> sent = {
        {"text", "line one\r\nline \"two\" 100%"},
        {"set display name", "Zoë"},
        {"text", high},
        {"", ""},
        {std::string(kMaxLabelBytes, 'L'), std::string(kMaxTextBytes, 't')}};
    std::string wire;
    for (const Record& r : sent)
        encodeFrame(r.label, r.text, wire);
    FrameDecoder::Status status;
    EXPECT_EQ(decodeAll(wire, &status), sent) << "records must come out as they went in, in order";
    EXPECT_EQ(status, FrameDecoder::Status::Ok);
}

TEST(FrameCodec, AFrameFedOneByteAtATimeArrivesWholeAndOnce) {
    const std::string wire = encodeFrame("text", "hello") + encodeFrame("text", "world");
    FrameDecoder d;
    std::deque<Record> out;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        ASSERT_EQ(d.feed(&wire[i], 1, out), FrameDecoder::Status::Ok);
        const bool firstDone = i + 1 >= wire.size() / 2;
        EXPECT_EQ(out.size(), (i + 1 == wire.size()) ? 2u : (firstDone ? 1u : 0u))
            << "after byte " << i;
        EXPECT_EQ(d.midFrame(), i + 1 != wire.size() && i + 1 != wire.size() / 2);
    }
    EXPECT_EQ(out.back(), (Record{"text", "world"}));
}

TEST(FrameCodec, BadFramesAreRejectedBeforeTheirBodyIsBuffered) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"wrong magic", header('H', 'T', 4, 4) + "textdata"},
        {"garbage", "GET / HTTP/1.0\r\n\r\n"},
        {"label over the maximum", header('N', 'X', kMaxLabelBytes + 1, 0)},
        {"text over the maximum", header('N', 'X', 4, kMaxTextBytes + 1)},
        {"text length of 4 GiB", header('N', 'X', 0, 0xFFFFFFFFu)},
        {"NUL in the label", header('N', 'X', 2, 1) + std::string("a\0b", 3)},
        {"NUL in the text", header('N', 'X', 1, 2) + std::string("ab\0", 3)},
    };
    for (const Case& c : cases) {
        FrameDecoder d;
        std::deque<Record> out;
        EXPECT_EQ(d.feed(c.bytes.data(), c.bytes.size(), out), FrameDecoder::Status::Malformed)
            << c.what;
        EXPECT_TRUE(d.failed()) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
        const std::string good = encodeFrame("text", "later");
        EXPECT_EQ(d.feed(good.data(), good.size(), out), FrameDecoder::Status::Malformed)
            << c.what << ": a failed stream must stay failed";
    }
}

TEST(FrameCodec, RecordsBeforeABadFrameAreKept) {
    const std::string wire = encodeFrame("text", "first") + header('N', 'X', 1, kMaxTextBytes + 1);
    FrameDecoder::Status status;
    const auto out = decodeAll(wire, &status);
    EXPECT_EQ(status, FrameDecoder::Status::Malformed);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "first");
}

TEST(FrameCodec, ValidationNamesWhatCannotBeFramed) {
    EXPECT_EQ(validateRecord("text", "ok"), FrameError::None);
    EXPECT_EQ(validateRecord(std::string(kMaxLabelBytes + 1, 'x'), ""), FrameError::LabelTooLong);
    EXPECT_EQ(validateRecord("t", std::string(kMaxTextBytes + 1, 'x')), FrameError::TextTooLong);
    EXPECT_EQ(validateRecord("t", std::string("a\0", 2)), FrameError::ContainsNul);
}

} // namespace
} // namespace devhost
