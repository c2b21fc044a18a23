// Received records as the receive handler finds them in its queue, made by hand: a
// stand-in for "nxTcpSock.CopyRecvQueue" hands over records whose data buffers hold no
// terminating zero, several element sizes, or nothing at all. The participant is a
// guest, which shows every "text" record as it came.
#include "testkit/chat_fixture.h"

#include "module/ui/resource.h"

#include <optional>
#include <vector>

namespace chat_test {
namespace {

constexpr QHANDLE kSomeSocket = 77;

struct CraftedRecord {
    std::optional<std::string> label;
    bool hasData = true;
    std::uint32_t itemSize = 1;
    std::vector<std::uint8_t> bytes;
};

CraftedRecord TextOf(const std::string& bytes, std::uint32_t itemSize = 1) {
    return CraftedRecord{std::string("text"), true, itemSize,
                         std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

class ReceivedRecordsTest : public ChatFixture {
protected:
    void RegisterSocketPlugin() override {
        const std::vector<devhost::ArgSpec> prototype = {{"hSock", TYPEID_HANDLE},
                                                         {"hRecvQueue", TYPEID_VARREF}};
        host.registerHostFunction("nxTcpSock.CopyRecvQueue", prototype, TYPEID_BOOL,
                                  [this](QHANDLE hArgList, QHANDLE hRetVal) {
                                      const auto args = host.items(hArgList);
                                      if (args.size() != 2) return false;
                                      Fill(static_cast<QHANDLE>(host.scalar(args[1])));
                                      if (hRetVal != 0) host.setScalar(hRetVal, 1);
                                      return true;
                                  });
    }
    void Fill(QHANDLE hQueue) {
        for (const CraftedRecord& record : queued) {
            const QHANDLE item = host.addItem(hQueue, TYPEID_LIST, "");
            if (!record.label) continue;
            host.setText(host.addItem(item, TYPEID_STRING, "label"), *record.label);
            if (!record.hasData) continue;
            host.setBuffer(host.addItem(item, TYPEID_BUFFER, "data"), record.itemSize,
                           record.bytes);
        }
        queued.clear();
    }
    std::vector<CraftedRecord> queued;
};

TEST_F(ReceivedRecordsTest, TextIsReadOnlyWithinItsBuffer) {
    // No zero byte anywhere: the text is exactly the buffer's bytes.
    queued = {TextOf("abcd"), TextOf(std::string("ab\0cd", 5)), TextOf(std::string("wide", 4), 2),
              TextOf(std::string("wi\0\0de", 6), 2)};
    g_ChatDlg.OnRecv(kSomeSocket);
    EXPECT_EQ(Transcript(), "abcd\r\n\r\nab\r\n\r\nwide\r\n\r\nwi\r\n\r\n");
    EXPECT_TRUE(Reports().empty()) << Reports().front();
}

TEST_F(ReceivedRecordsTest, RecordsWithoutDataAreReportedAndSkipped) {
    CraftedRecord empty = TextOf("");
    CraftedRecord noData = TextOf("x");
    noData.hasData = false;
    CraftedRecord noLabel;
    CraftedRecord otherLabel = TextOf("never shown");
    otherLabel.label = "whisper";
    queued = {empty, TextOf("first"), noData, noLabel, otherLabel, TextOf("second")};
    g_ChatDlg.OnRecv(kSomeSocket);
    EXPECT_EQ(Transcript(), "first\r\n\r\nsecond\r\n\r\n");
    const std::vector<std::string> expected = {
        "CChatDlg::OnRecv error:\r\n - cannot get message data",
        "CChatDlg::OnRecv error:\r\n - cannot get message data",
        "CChatDlg::OnRecv error:\r\n - cannot get message label"};
    EXPECT_EQ(Reports(), expected);
}

TEST_F(ReceivedRecordsTest, TextTypedDuringAReportIsKept) {
    // The report's box lets the user go on typing into the window before the next
    // record is shown.
    host.setReportSink([this](const std::string&) { TypeMessage("typed meanwhile"); });
    CraftedRecord noData = TextOf("x");
    noData.hasData = false;
    queued = {noData, TextOf("hello")};
    g_ChatDlg.OnRecv(kSomeSocket);
    EXPECT_EQ(Transcript(), "hello\r\n\r\n");
    EXPECT_EQ(MessageBoxText(), "typed meanwhile");
    EXPECT_EQ(ShownTranscript(), "hello\r\n\r\n");
}

TEST_F(ReceivedRecordsTest, InvalidHandleAndMissingQueue) {
    g_ChatDlg.OnRecv(0);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0], "CChatDlg::OnRecv error:\r\n - invalid socket handle");
    host.clearReports();

    host.bench().failRunFrom("nxTcpSock.CopyRecvQueue", 1);
    queued = {TextOf("not read")};
    g_ChatDlg.OnRecv(kSomeSocket);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[1], "CChatDlg::OnRecv error:\r\n - cannot get receive queue");
    EXPECT_EQ(Transcript(), "");
}

} // namespace
} // namespace chat_test
