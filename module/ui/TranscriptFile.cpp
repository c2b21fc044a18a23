// The transcript's file: its bytes, its proposed name, and the one write that puts it
// in place whole (SaveFile.h).
#include "module/ui/TranscriptFile.h"

#include "module/ui/SaveFile.h"

#include <cstdio>

namespace {
constexpr const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kNameCapacity = 64;
} // namespace

std::string TranscriptFileBytes(const std::string& transcript) {
    return kUtf8ByteOrderMark + Utf8FromCodePage(transcript);
}

std::string ProposedTranscriptName(const std::tm& when) {
    char name[kNameCapacity];
    std::snprintf(name, sizeof name, "Chat %04d-%02d-%02d %02d-%02d.txt", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min);
    return name;
}

bool SaveTranscript(const std::string& path, const std::string& transcript, std::string& error) {
    return WriteFileReplacing(path, TranscriptFileBytes(transcript), error);
}
