// The in-place frame scanner: header checks as strict as the socket plug-in's decoder.
#include "testkit/loadgen/frame_scanner.h"

#include <algorithm>

namespace loadgen {

std::size_t FrameScanner::frameLength(const char* header) {
    const auto* h = reinterpret_cast<const unsigned char*>(header);
    const std::size_t labelBytes = (std::size_t{h[2]} << 8) | h[3];
    const std::size_t textBytes =
        (std::size_t{h[4]} << 24) | (std::size_t{h[5]} << 16) | (std::size_t{h[6]} << 8) | h[7];
    if (h[0] != devhost::kFrameMagic0 || h[1] != devhost::kFrameMagic1 ||
        labelBytes > devhost::kMaxLabelBytes || textBytes > devhost::kMaxTextBytes) {
        malformed_ = true;
        return 0;
    }
    return devhost::kFrameHeaderBytes + labelBytes + textBytes;
}

bool FrameScanner::frameAt(const char* data, std::size_t size, FrameView& frame) {
    if (malformed_ || size < devhost::kFrameHeaderBytes) return false;
    const std::size_t length = frameLength(data);
    if (length == 0 || size < length) return false;
    const std::size_t labelBytes = (std::size_t{static_cast<unsigned char>(data[2])} << 8) |
                                   static_cast<unsigned char>(data[3]);
    frame.bytes = std::string_view(data, length);
    frame.label = std::string_view(data + devhost::kFrameHeaderBytes, labelBytes);
    frame.text = frame.bytes.substr(devhost::kFrameHeaderBytes + labelBytes);
    return true;
}

void FrameScanner::keepPending(const char* data, std::size_t size) {
    pending_.assign(data, size);
    frameBytes_ = size >= devhost::kFrameHeaderBytes ? frameLength(data) : 0;
}

std::size_t FrameScanner::completePending(const char* data, std::size_t size, FrameView& frame) {
    if (pending_.empty() || malformed_) return 0;
    std::size_t used = 0;
    if (pending_.size() < devhost::kFrameHeaderBytes) {
        used = std::min(devhost::kFrameHeaderBytes - pending_.size(), size);
        pending_.append(data, used);
        if (pending_.size() < devhost::kFrameHeaderBytes) return used;
        frameBytes_ = frameLength(pending_.data());
        if (frameBytes_ == 0) return used;
    }
    const std::size_t take = std::min(frameBytes_ - pending_.size(), size - used);
    pending_.append(data + used, take);
    used += take;
    if (pending_.size() == frameBytes_) frameAt(pending_.data(), pending_.size(), frame);
    return used;
}

} // namespace loadgen
