#include "office/model/powerpoint_presentation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "memory_office.h"
#include "office/office_bridge.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ReplaceAll;

const CodePage& kGbk = CodePage::Gbk();

class PowerPointPresentationTest : public ::testing::Test {
 protected:
  PowerPointPresentationTest() {
    auto suite = std::make_unique<MemoryOffice>();
    office_ = suite.get();
    bridge_ = MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
    path_ = dir_.Write("p.ppt", "original");
    presentation_ = &office_->AddPresentation(path_);
  }
  void AddSlide(const std::vector<std::string>& shapes) {
    std::vector<MemoryShape> slide;
    for (const std::string& text : shapes) slide.push_back({true, SplitMemoryText(text)});
    presentation_->slides.push_back(slide);
  }
  std::unique_ptr<OfficeDocument> Open() {
    Message whyNot;
    return bridge_->Open(path_, OfficeKind::PowerPoint, kGbk, &whyNot);
  }
  std::string Shape(size_t slide, size_t shape) {
    return JoinMemoryText(presentation_->slides[slide][shape].text);
  }

  testing::ScratchDir dir_;
  MemoryOffice* office_;
  std::unique_ptr<OfficeBridge> bridge_;
  std::string path_;
  MemoryPresentationData* presentation_;
};

TEST_F(PowerPointPresentationTest, LaysOutShapesAndSlides) {
  AddSlide({"Title", ""});
  presentation_->slides[0][1].hasTextFrame = false;
  AddSlide({});
  AddSlide({"one\rtwo\r\nthree\tfour", ""});
  EXPECT_EQ(Open()->WriteText(), "Title\n\n\r\rone two three\tfour\n\n\r");
}

TEST_F(PowerPointPresentationTest, LocatesAndEditsTheOccurrenceInItsShape) {
  OfficeLocation location;
  EXPECT_TRUE(LocateInPresentationText("Title\nBody x\n\r", 11, 1, location, kGbk).editable);
  EXPECT_EQ(location.slide, 0);
  EXPECT_EQ(location.shape, 1);
  EXPECT_EQ(location.start, 5);

  AddSlide({"Title", "Body x"});
  office_->logCalls = true;
  EXPECT_EQ(ReplaceAll(*Open(), "x", "y"), 1);
  EXPECT_NE(std::find(office_->calls.begin(), office_->calls.end(), "Shapes.Item 2"),
            office_->calls.end());
  EXPECT_EQ(Shape(0, 1), "Body y");
}

TEST_F(PowerPointPresentationTest, LaterOccurrencesInAShapeFollowTheGrowingText) {
  AddSlide({"a-b-c", "-"});
  AddSlide({"x-"});
  EXPECT_EQ(ReplaceAll(*Open(), "-", "+++"), 4);
  EXPECT_EQ(Shape(0, 0), "a+++b+++c");
  EXPECT_EQ(Shape(0, 1), "+++");
  EXPECT_EQ(Shape(1, 0), "x+++");
}

TEST_F(PowerPointPresentationTest, AnOccurrenceAcrossShapesIsCountedButNoShapeChanges) {
  AddSlide({"ab", "cd"});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "b\nc", "Q"), 1);
  EXPECT_EQ(ReplaceAll(*document, "d", "e"), 1);
  EXPECT_EQ(Shape(0, 0), "ab");
  EXPECT_EQ(Shape(0, 1), "ce");
}

TEST_F(PowerPointPresentationTest, FindLocatesButNeverEditsOrSaves) {
  AddSlide({"x"});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "x", "y", /*edit=*/false), 1);
  document->Close(false);
  EXPECT_EQ(Shape(0, 0), "x");
  EXPECT_EQ(presentation_->saves, 0);
}

}  // namespace
}  // namespace strbatch
