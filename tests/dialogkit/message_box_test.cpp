// Message boxes: caption, text and flags as shown, the framework box's caption, and
// answers from the queue before the capture's default.
#include "dialogkit/testing/testing.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageBox, RecordsWhatIsShownAndAnswersInOrder) {
    dk::testing::BeginCapture(dk::kIdCancel);
    dk::testing::PushAnswer(dk::kIdOk);
    EXPECT_EQ(
        dk::ShowMessageBox(nullptr, "first", "Quarzel error", dk::kMbOkCancel | dk::kMbIconError),
        dk::kIdOk);
    EXPECT_EQ(dk::ShowMessageBox(nullptr, "second", "Caption", dk::kMbOkCancel), dk::kIdCancel);
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Quarzel error");
    EXPECT_EQ(boxes[0].text, "first");
    EXPECT_EQ(boxes[0].flags, unsigned(dk::kMbOkCancel | dk::kMbIconError));
    EXPECT_EQ(boxes[1].text, "second");
    EXPECT_TRUE(dk::testing::TakeBoxes().empty());
    dk::testing::EndCapture();
}

TEST(MessageBox, AppBoxCarriesTheApplicationName) {
    const std::string previous = dk::AppName();
    EXPECT_FALSE(previous.empty()) << "the module file's base name by default";
    dk::SetAppName("Volubra");
    dk::testing::BeginCapture();
    dk::ShowAppMessageBox("Cannot connect", dk::kMbOk | dk::kMbIconError);
    const auto boxes = dk::testing::TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Volubra");
    EXPECT_EQ(boxes[0].text, "Cannot connect");
    dk::testing::EndCapture();
    dk::SetAppName(previous);
}

} // namespace
