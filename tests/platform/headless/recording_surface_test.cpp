// The recording surface keeps every drawing call with the state it ran in.
#include <gtest/gtest.h>

#include "platform/headless/recording_surface.h"

namespace corvantis::platform::headless {
namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kWhite{255, 255, 255};

TEST(RecordingSurface, KeepsOrderCoordinatesAndState) {
  RecordingSurface s;
  s.excludeClip({0, 0, 5, 53});
  s.fillRect({5, 53, 180, 163}, Rgb{200, 255, 200});
  s.setPen(kBlack);
  s.moveTo(10, 20);
  s.lineTo(30, 40);
  s.lineTo(35, 45);
  s.setTextColour(kWhite);
  s.setPen(kGreen);
  s.setBrush(kGreen);
  s.fillShape(91, 124, 105, 138);
  s.drawText(92, 125, "F");
  s.resetClip();
  s.lineTo(0, 0);

  const auto& ops = s.ops();
  ASSERT_EQ(ops.size(), 13u);
  EXPECT_EQ(ops[0].kind, DrawKind::ExcludeClip);
  EXPECT_EQ(ops[1].kind, DrawKind::FillRect);
  EXPECT_EQ(ops[1].colour, (Rgb{200, 255, 200}));
  EXPECT_EQ(ops[1].excludedRects, 1u);
  EXPECT_EQ(ops[9].kind, DrawKind::FillShape);
  EXPECT_EQ(ops[9].rect.x, 91);
  EXPECT_EQ(ops[9].rect.width, 14);
  EXPECT_EQ(ops[9].pen, kGreen);
  EXPECT_EQ(ops[9].brush, kGreen);
  EXPECT_EQ(ops[10].text, "F");
  EXPECT_EQ(ops[10].textColour, kWhite);
  EXPECT_EQ(ops[10].at.y, 125);
  EXPECT_EQ(ops[12].excludedRects, 0u);

  const auto lines = s.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].from.x, 10);
  EXPECT_EQ(lines[0].to.y, 40);
  EXPECT_EQ(lines[1].from.x, 30);  // a polyline continues from the last point
  EXPECT_EQ(lines[0].pen, kBlack);
  EXPECT_EQ(lines[2].pen, kGreen);
  EXPECT_EQ(s.texts(), std::vector<std::string>{"F"});
  EXPECT_EQ(s.opsOfKind(DrawKind::SetPen).size(), 2u);

  s.clear();
  EXPECT_TRUE(s.ops().empty());
  EXPECT_EQ(s.pen(), kGreen);  // clearing the record keeps the drawing state
}

TEST(RecordingSurface, TextExtentIsHalfTheFontHeightPerCharacter) {
  struct Case {
    FontSpec font;
    const char* text;
    Size expected;
  };
  const Case cases[] = {
      {{"Arial", 12, 400}, "ST", {12, 12}},
      {{"Arial", 17, 700}, "5.234s", {48, 17}},
      {{"Arial", 25, 700}, "", {0, 25}},
      {{"Arial", 1, 400}, "abc", {3, 1}},
      {{"Arial", 12, 400}, "\xC3\xA9t\xC3\xA9", {18, 12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingSurface s;
    s.setFont(c.font);
    const Size size = s.textExtent(c.text);
    EXPECT_EQ(size.width, c.expected.width);
    EXPECT_EQ(size.height, c.expected.height);
  }
  RecordingSurface s;
  EXPECT_EQ(s.textExtent("F").height, 12);  // the default font
  EXPECT_EQ(s.ops().size(), 0u);            // measuring draws nothing
  s.setPen(kRed);
}

}  // namespace
}  // namespace corvantis::platform::headless
