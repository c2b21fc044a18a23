// Encoder and incremental decoder of the socket plug-in's frames (format in the header).
#include "devhost/nxtcpsock/frame_codec.h"

#include <algorithm>
#include <cstring>

namespace devhost {

FrameError validateRecord(const std::string& label, const std::string& text) {
    if (label.size() > kMaxLabelBytes) return FrameError::LabelTooLong;
    if (text.size() > kMaxTextBytes) return FrameError::TextTooLong;
    if (label.find('\0') != std::string::npos || text.find('\0') != std::string::npos)
        return FrameError::ContainsNul;
    return FrameError::None;
}

void encodeFrame(const std::string& label, const std::string& text, std::string& out) {
    const auto labelBytes = static_cast<std::uint32_t>(label.size());
    const auto textBytes = static_cast<std::uint32_t>(text.size());
    const unsigned char header[kFrameHeaderBytes] = {
        kFrameMagic0,
        kFrameMagic1,
        static_cast<unsigned char>(labelBytes >> 8),
        static_cast<unsigned char>(labelBytes),
        static_cast<unsigned char>(textBytes >> 24),
        static_cast<unsigned char>(textBytes >> 16),
        static_cast<unsigned char>(textBytes >> 8),
        static_cast<unsigned char>(textBytes),
    };
    out.reserve(out.size() + kFrameHeaderBytes + label.size() + text.size());
    out.append(reinterpret_cast<const char*>(header), kFrameHeaderBytes);
    out += label;
    out += text;
}

std::string encodeFrame(const std::string& label, const std::string& text) {
    std::string out;
    encodeFrame(label, text, out);
    return out;
}

void FrameDecoder::reset() {
    headerBytes_ = 0;
    inBody_ = false;
    labelBytes_ = textBytes_ = 0;
    pending_ = Record{};
    failed_ = false;
}

bool FrameDecoder::parseHeader() {
    const unsigned char* h = header_;
    if (h[0] != kFrameMagic0 || h[1] != kFrameMagic1) return false;
    labelBytes_ = (std::size_t{h[2]} << 8) | h[3];
    textBytes_ =
        (std::size_t{h[4]} << 24) | (std::size_t{h[5]} << 16) | (std::size_t{h[6]} << 8) | h[7];
    return labelBytes_ <= kMaxLabelBytes && textBytes_ <= kMaxTextBytes;
}

bool FrameDecoder::fill(std::string& target, std::size_t wanted, const char*& p, const char* end) {
    const std::size_t take =
        std::min<std::size_t>(wanted - target.size(), static_cast<std::size_t>(end - p));
    if (std::memchr(p, '\0', take) != nullptr) return false;
    target.append(p, take);
    p += take;
    return true;
}

FrameDecoder::Status FrameDecoder::feed(const void* data, std::size_t size,
                                        std::deque<Record>& out) {
    if (failed_) return Status::Malformed;
    const char* p = static_cast<const char*>(data);
    const char* end = p + size;
    while (p < end) {
        if (!inBody_) {
            const std::size_t take = std::min<std::size_t>(kFrameHeaderBytes - headerBytes_,
                                                           static_cast<std::size_t>(end - p));
            std::memcpy(header_ + headerBytes_, p, take);
            headerBytes_ += take;
            p += take;
            if (headerBytes_ < kFrameHeaderBytes) break;
            if (!parseHeader()) {
                failed_ = true;
                return Status::Malformed;
            }
            headerBytes_ = 0;
            inBody_ = true;
            pending_.label.reserve(labelBytes_);
            pending_.text.reserve(textBytes_);
        }
        if (!fill(pending_.label, labelBytes_, p, end) ||
            !fill(pending_.text, textBytes_, p, end)) {
            failed_ = true;
            return Status::Malformed;
        }
        if (pending_.label.size() < labelBytes_ || pending_.text.size() < textBytes_) break;
        out.push_back(std::move(pending_));
        pending_ = Record{};
        inBody_ = false;
    }
    return Status::Ok;
}

} // namespace devhost
