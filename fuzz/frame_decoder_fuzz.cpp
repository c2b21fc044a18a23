// libFuzzer target: the socket plug-in's frame decoder on arbitrary bytes. The first
// byte says in what pieces the rest arrives. Besides the sanitizers' findings, a run
// fails when the pieces change the outcome, a record breaks the frame limits, the
// records, framed again, are not exactly the bytes the decoder consumed, or a piece
// makes the decoder hold (and hand out) other than growthFrom foretold.
#include "devhost/nxtcpsock/frame_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

namespace {

using devhost::FrameDecoder;
using devhost::Record;

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "frame decoder: %s\n", what);
    std::abort();
}

struct Outcome {
    FrameDecoder::Status status = FrameDecoder::Status::Ok;
    std::deque<Record> records;
    bool midFrame = false;
};

Outcome Decode(const std::uint8_t* data, std::size_t size, std::size_t piece) {
    Outcome outcome;
    FrameDecoder decoder;
    for (std::size_t at = 0; at < size && outcome.status == FrameDecoder::Status::Ok; at += piece) {
        const std::size_t take = size - at < piece ? size - at : piece;
        const std::size_t growth = decoder.growthFrom(data + at, take);
        const std::size_t heldBefore = decoder.heldBytes();
        const std::size_t recordsBefore = outcome.records.size();
        outcome.status = decoder.feed(data + at, take, outcome.records);
        std::size_t grown = decoder.heldBytes() - heldBefore;
        for (std::size_t i = recordsBefore; i < outcome.records.size(); ++i)
            grown += outcome.records[i].label.size() + outcome.records[i].text.size();
        Require(outcome.status == FrameDecoder::Status::Ok ? growth == grown : growth >= grown,
                "growthFrom foretold the growth wrongly");
    }
    outcome.midFrame = decoder.midFrame();
    Require(decoder.failed() == (outcome.status == FrameDecoder::Status::Malformed),
            "failed() disagrees with the status");
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0]; // 1 to 256 bytes at a time
    const std::uint8_t* stream = data + 1;
    const std::size_t streamBytes = size - 1;

    const Outcome whole = Decode(stream, streamBytes, streamBytes == 0 ? 1 : streamBytes);
    const Outcome pieces = Decode(stream, streamBytes, piece);
    Require(whole.status == pieces.status, "the pieces changed the status");
    Require(whole.records == pieces.records, "the pieces changed the records");

    std::string framed;
    for (const Record& r : whole.records) {
        Require(devhost::validateRecord(r.label, r.text) == devhost::FrameError::None,
                "a record breaks the frame limits");
        devhost::encodeFrame(r.label, r.text, framed);
    }
    Require(framed.size() <= streamBytes &&
                framed.compare(0, framed.size(), reinterpret_cast<const char*>(stream),
                               framed.size()) == 0,
            "the records are not the bytes they came from");
    if (whole.status == FrameDecoder::Status::Ok)
        Require(whole.midFrame == (framed.size() < streamBytes),
                "bytes after the last record are not a frame under way");
    return 0;
}
