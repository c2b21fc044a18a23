// Splits a byte stream into the socket plug-in's frames where the bytes lie (the
// layout is in devhost/nxtcpsock/frame_codec.h). The load generator and the raw relay
// read hundreds of thousands of frames a second; copying each into a Record, as the
// socket plug-in's own decoder does, would make them the slowest part of what they
// measure. Complete frames are handed over as views into the bytes just read; only a
// frame split between two reads is copied, into the scanner, until it is whole.
#pragma once

#include "devhost/nxtcpsock/frame_codec.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace loadgen {

// One complete frame: all of its bytes, and its label and text within them. The views
// are valid only during the call that hands them over.
struct FrameView {
    std::string_view bytes;
    std::string_view label;
    std::string_view text;
};

class FrameScanner {
public:
    // Hands every frame that these bytes complete to onFrame(const FrameView&), in
    // stream order. False, now and from then on, on a wrong magic or an oversized
    // length: the stream cannot be read on, and its connection is to be closed.
    template <class OnFrame> bool feed(const char* data, std::size_t size, OnFrame&& onFrame) {
        FrameView frame;
        const std::size_t used = completePending(data, size, frame);
        if (used > 0 && pending_.size() == frameBytes_) {
            onFrame(frame);
            pending_.clear();
        }
        std::size_t at = used;
        while (frameAt(data + at, size - at, frame)) {
            onFrame(frame);
            at += frame.bytes.size();
        }
        if (!malformed_ && at < size) keepPending(data + at, size - at);
        return !malformed_;
    }

private:
    // The complete frame at the start of the bytes, if they hold one.
    bool frameAt(const char* data, std::size_t size, FrameView& frame);
    // Copies into pending_ what the frame begun earlier still needs; the bytes used.
    std::size_t completePending(const char* data, std::size_t size, FrameView& frame);
    // Keeps the start of a frame that the next bytes complete.
    void keepPending(const char* data, std::size_t size);
    // A frame's whole length from its header; 0 (and malformed_) for a bad header.
    std::size_t frameLength(const char* header);

    std::string pending_;        // the start of a frame split between reads
    std::size_t frameBytes_ = 0; // the whole length of the pending frame, once known
    bool malformed_ = false;
};

} // namespace loadgen
