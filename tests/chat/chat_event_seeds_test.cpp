// The chat events fuzzer's seeds, played in this build's windows: each is a sequence
// of events with modal loops (a line typed inside a report, Close inside a report
// among a callback's records, a paste too long for every guest, entries appended
// while the window was hidden and then trimmed ...). A broken rule ends the process
// with the sentence that says which; the seed being played is printed first.
#include "testkit/chatevents/chat_events.h"
#include "testkit/text_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The seed folder; a build-machine path is reached through Wine's drive Z:.
fs::path CorpusFolder() {
    std::string path = VOLUBRA_CHAT_EVENTS_CORPUS;
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return fs::path(path);
}

TEST(ChatEventSeedsTest, EverySeedKeepsTheRules) {
    std::vector<fs::path> seeds;
    for (const fs::directory_entry& entry : fs::directory_iterator(CorpusFolder()))
        if (entry.is_regular_file()) seeds.push_back(entry.path());
    std::sort(seeds.begin(), seeds.end());
    ASSERT_FALSE(seeds.empty()) << "no seeds in " << CorpusFolder().string();
    for (const fs::path& seed : seeds) {
        std::fprintf(stderr, "seed %s\n", seed.filename().string().c_str());
        const std::string bytes = testsupport::ReadFile(seed.string());
        chatevents::Play(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}

} // namespace
