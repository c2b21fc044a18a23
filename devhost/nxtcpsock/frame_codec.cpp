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
    header_.clear();
    inBody_ = false;
    labelBytes_ = textBytes_ = 0;
    body_.clear();
    failed_ = false;
}

bool FrameDecoder::parseHeader() {
    const auto* h = reinterpret_cast<const unsigned char*>(header_.data());
    if (h[0] != kFrameMagic0 || h[1] != kFrameMagic1) return false;
    labelBytes_ = (std::size_t{h[2]} << 8) | h[3];
    textBytes_ =
        (std::size_t{h[4]} << 24) | (std::size_t{h[5]} << 16) | (std::size_t{h[6]} << 8) | h[7];
    return labelBytes_ <= kMaxLabelBytes && textBytes_ <= kMaxTextBytes;
}

FrameDecoder::Status FrameDecoder::feed(const void* data, std::size_t size,
                                        std::deque<Record>& out) {
    if (failed_) return Status::Malformed;
    const char* p = static_cast<const char*>(data);
    const char* end = p + size;
    while (p < end) {
        if (!inBody_) {
            const std::size_t take = std::min<std::size_t>(kFrameHeaderBytes - header_.size(),
                                                           static_cast<std::size_t>(end - p));
            header_.append(p, take);
            p += take;
            if (header_.size() < kFrameHeaderBytes) break;
            if (!parseHeader()) {
                failed_ = true;
                return Status::Malformed;
            }
            header_.clear();
            inBody_ = true;
            body_.clear();
            body_.reserve(labelBytes_ + textBytes_);
        }
        const std::size_t want = labelBytes_ + textBytes_ - body_.size();
        const std::size_t take = std::min<std::size_t>(want, static_cast<std::size_t>(end - p));
        if (std::memchr(p, '\0', take) != nullptr) {
            failed_ = true;
            return Status::Malformed;
        }
        body_.append(p, take);
        p += take;
        if (body_.size() < labelBytes_ + textBytes_) break;
        out.push_back(Record{body_.substr(0, labelBytes_), body_.substr(labelBytes_)});
        body_.clear();
        inBody_ = false;
    }
    return Status::Ok;
}

} // namespace devhost
