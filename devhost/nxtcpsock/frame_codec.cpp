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

namespace {
// The lengths a header declares; false when it is malformed.
bool ReadHeader(const unsigned char* h, std::size_t& labelBytes, std::size_t& textBytes) {
    if (h[0] != kFrameMagic0 || h[1] != kFrameMagic1) return false;
    labelBytes = (std::size_t{h[2]} << 8) | h[3];
    textBytes =
        (std::size_t{h[4]} << 24) | (std::size_t{h[5]} << 16) | (std::size_t{h[6]} << 8) | h[7];
    return labelBytes <= kMaxLabelBytes && textBytes <= kMaxTextBytes;
}
} // namespace

bool FrameDecoder::parseHeader() {
    return ReadHeader(header_, labelBytes_, textBytes_);
}

bool FrameDecoder::fill(std::string& target, std::size_t wanted, const char*& p, const char* end) {
    const std::size_t take =
        std::min<std::size_t>(wanted - target.size(), static_cast<std::size_t>(end - p));
    if (std::memchr(p, '\0', take) != nullptr) return false;
    target.append(p, take);
    p += take;
    return true;
}

std::size_t FrameDecoder::bytesForAtMost(std::size_t records) const {
    const std::size_t first =
        inBody_ ? labelBytes_ + textBytes_ - pending_.label.size() - pending_.text.size()
                : kFrameHeaderBytes - headerBytes_;
    return first + records * kFrameHeaderBytes - 1;
}

std::size_t FrameDecoder::growthFrom(const void* data, std::size_t size,
                                     std::size_t* framesBegun) const {
    if (framesBegun) *framesBegun = 0;
    if (failed_) return 0;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    std::size_t bodyLeft =
        inBody_ ? labelBytes_ + textBytes_ - pending_.label.size() - pending_.text.size() : 0;
    unsigned char header[kFrameHeaderBytes];
    std::memcpy(header, header_, headerBytes_);
    std::size_t headerBytes = headerBytes_;
    std::size_t growth = 0;
    while (p < end) {
        if (bodyLeft > 0) {
            const std::size_t take = std::min<std::size_t>(bodyLeft, end - p);
            bodyLeft -= take;
            p += take;
            continue;
        }
        const std::size_t take = std::min<std::size_t>(kFrameHeaderBytes - headerBytes,
                                                       static_cast<std::size_t>(end - p));
        std::memcpy(header + headerBytes, p, take);
        headerBytes += take;
        p += take;
        if (headerBytes < kFrameHeaderBytes) break;
        headerBytes = 0;
        std::size_t label = 0, text = 0;
        if (!ReadHeader(header, label, text)) break; // the stream ends: nothing more is kept
        growth += label + text;
        bodyLeft = label + text;
        if (framesBegun) ++*framesBegun;
    }
    return growth;
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
