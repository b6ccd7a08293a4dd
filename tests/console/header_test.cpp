// The header band's layout and drawing.
#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

#include "console/dialog_header.h"
#include "console/ui/system_colors.h"

namespace pvn::console {
namespace {

QImage Render(CDialogHeader& header) {
  return header.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Columns (in widget pixels) of the row band [top, bottom) that hold a dark
// pixel, that is text.
std::pair<int, int> InkColumns(const QImage& image, int top, int bottom) {
  int first = -1, last = -1;
  for (int x = 2; x < image.width() - 2; ++x) {
    for (int y = top; y < bottom; ++y) {
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST(HeaderBandTest, LayoutRuleAndTextRectangles) {
  CDialogHeader header;
  EXPECT_EQ(header.ComputeBandHeight(), 60);
  const BandRect client{0, 0, 500, 58};
  struct Case {
    std::uint32_t alignment;
    BandRect title, subTitle;
  };
  const Case cases[] = {
      {0, {63, 5, 494, 23}, {73, 23, 494, 58}},  // 63: indent 10 + icon column 48 + margin 5
      {1, {63, 5, 431, 23}, {63, 23, 431, 58}},  // centred between symmetric margins
      {2, {63, 5, 494, 23}, {63, 23, 484, 58}},
      {5, {63, 5, 494, 23}, {73, 23, 494, 58}},  // any other value is left
  };
  for (const Case& c : cases) {
    header.SetAlignment(c.alignment);
    const auto rects = header.ComputeTextRects(client);
    EXPECT_EQ(rects.title, c.title) << c.alignment;
    EXPECT_EQ(rects.subTitle, c.subTitle) << c.alignment;
  }
  header.SetAlignment(5);
  EXPECT_EQ(header.Alignment(), 0u);
}

TEST(HeaderBandTest, PaintsFrameBackgroundIconAndText) {
  CDialogHeader header;
  header.resize(400, 60);
  header.SetBackground(QColor(200, 40, 40));
  QImage image = Render(header);
  const QColor background(200, 40, 40);
  EXPECT_EQ(image.pixelColor(200, 30), background);
  EXPECT_EQ(image.pixelColor(200, 56), background);  // last filled row
  // The bottom strip of two pixels keeps the frame: face, then shadow.
  EXPECT_EQ(image.pixelColor(200, 57), ui::GetSysColor(ui::COLOR_BTNFACE));
  EXPECT_EQ(image.pixelColor(200, 58), ui::GetSysColor(ui::COLOR_BTNSHADOW));
  EXPECT_EQ(image.pixelColor(1, 57), ui::GetSysColor(ui::COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(image.pixelColor(398, 57), ui::GetSysColor(ui::COLOR_BTNSHADOW));
  EXPECT_EQ(image.pixelColor(0, 30), ui::GetSysColor(ui::COLOR_WINDOWFRAME));  // border

  QPixmap icon(48, 48);
  icon.fill(QColor(0, 0, 255));
  header.SetIcon(icon);
  image = Render(header);
  // At (margin, margin) of the client area, 48 by 48.
  EXPECT_EQ(image.pixelColor(6, 6), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(53, 53), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(54, 30), background);
  EXPECT_EQ(image.pixelColor(5, 30), background);

  // Without an icon the text still starts 63 pixels into the client area.
  header.SetIcon(QPixmap());
  header.SetBackground(Qt::white);
  header.SetTitle("Wide Title");
  header.SetSubTitle("Sub-caption");
  image = Render(header);
  const auto [titleFirst, titleLast] = InkColumns(image, 6, 24);
  EXPECT_GE(titleFirst, 64);
  EXPECT_LE(titleFirst, 66);
  const auto [subFirst, subLast] = InkColumns(image, 24, 57);
  EXPECT_GE(subFirst, 74) << "the sub-title is indented by 10 more";
  EXPECT_LE(subFirst, 76);
  (void)titleLast;
  (void)subLast;
}

TEST(HeaderBandTest, AlignmentFiveIsDrawnLikeLeftAndRightIsNot) {
  CDialogHeader header;
  header.resize(400, 60);
  header.SetTitle("Caption");
  header.SetSubTitle("Sub-caption");
  header.SetAlignment(0);
  const QImage left = Render(header);
  header.SetAlignment(5);
  EXPECT_EQ(Render(header), left);
  header.SetAlignment(2);
  const QImage right = Render(header);
  EXPECT_NE(right, left);
  EXPECT_GT(InkColumns(right, 6, 24).first, 250) << "right-aligned title";
}

TEST(HeaderBandTest, LongTextWrapsWithinTheBand) {
  CDialogHeader header;
  header.resize(220, 60);
  header.SetSubTitle("one two three four five six seven eight nine ten eleven twelve");
  const QImage image = Render(header);
  // Two lines of the sub-title fit: ink in both, clipped at the band.
  EXPECT_GE(InkColumns(image, 24, 40).first, 0);
  EXPECT_GE(InkColumns(image, 40, 57).first, 0);
  EXPECT_LE(InkColumns(image, 24, 57).second, 213) << "text stays within the right margin";
}

}  // namespace
}  // namespace pvn::console
