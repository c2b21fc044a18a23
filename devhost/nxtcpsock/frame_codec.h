// The wire format of the socket plug-in: one record (a label and a text) per frame.
//
// A frame is an 8-byte header followed by the label bytes and then the text bytes:
//
//   offset 0  2 bytes  magic 'N' 'X'
//   offset 2  2 bytes  label length, big-endian, 0 .. kMaxLabelBytes
//   offset 4  4 bytes  text length, big-endian, 0 .. kMaxTextBytes
//   offset 8           label, then text; no NUL byte in either
//
// Neither part carries a terminator: the lengths say where each ends. The decoder
// rejects a wrong magic, a length above its maximum and a NUL byte before it buffers
// anything of the body, so a peer can never make it allocate more than one maximal
// frame. A frame may arrive in any number of pieces; a stall mid-frame is legal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace devhost {

constexpr std::size_t kFrameHeaderBytes = 8;
constexpr std::size_t kMaxLabelBytes = 256;
constexpr std::size_t kMaxTextBytes = 1024 * 1024;
constexpr unsigned char kFrameMagic0 = 'N';
constexpr unsigned char kFrameMagic1 = 'X';

struct Record {
    std::string label;
    std::string text;
    bool operator==(const Record& o) const { return label == o.label && text == o.text; }
};

enum class FrameError {
    None,
    LabelTooLong,
    TextTooLong,
    ContainsNul,
};

// Checks that a record can be framed; None when it can.
FrameError validateRecord(const std::string& label, const std::string& text);

// Appends the frame of one record to out. The record must pass validateRecord.
void encodeFrame(const std::string& label, const std::string& text, std::string& out);
std::string encodeFrame(const std::string& label, const std::string& text);

// Turns a byte stream into records. Once it has seen a malformed frame it stays
// failed and takes no more input: the connection it reads is to be closed. The label
// and text of a frame go straight into the record that is handed out, so a large
// text is copied once, and nothing is kept between frames.
class FrameDecoder {
public:
    enum class Status { Ok, Malformed };

    // Consumes bytes; complete records are appended to out in stream order.
    Status feed(const void* data, std::size_t size, std::deque<Record>& out);
    bool failed() const { return failed_; }
    // True while part of a frame has been received but not all of it.
    bool midFrame() const { return headerBytes_ > 0 || inBody_; }
    // The bytes kept for the unfinished frame: once its header is read, the whole size
    // it declares, which is reserved for it then.
    std::size_t heldBytes() const { return inBody_ ? labelBytes_ + textBytes_ : 0; }
    // What feeding these bytes would add to heldBytes() and the records handed out
    // together (label and text bytes): the declared size of each frame whose header
    // they complete, whose count goes to framesBegun. Exact when the bytes are
    // well-formed, more on malformed ones.
    std::size_t growthFrom(const void* data, std::size_t size,
                           std::size_t* framesBegun = nullptr) const;
    // The most bytes that, fed next, complete no more than this many records: the
    // frame under way needs its missing bytes, every later one at least a header.
    std::size_t bytesForAtMost(std::size_t records) const;
    void reset();

private:
    bool parseHeader();
    // Appends up to the missing part of target from [p, end); false on a NUL byte.
    bool fill(std::string& target, std::size_t wanted, const char*& p, const char* end);

    unsigned char header_[kFrameHeaderBytes] = {};
    std::size_t headerBytes_ = 0;
    bool inBody_ = false;
    std::size_t labelBytes_ = 0;
    std::size_t textBytes_ = 0;
    Record pending_;
    bool failed_ = false;
};

} // namespace devhost
