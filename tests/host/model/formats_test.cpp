// The result files' formats.
#include "formats.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

TEST(Plot, ShowsTheVolumeOfClosedShapes) {
  std::vector<StepFigures> figures(3);
  for (int i = 0; i < 3; ++i) figures[size_t(i)].step = i, figures[size_t(i)].volume = 1.0 + i;
  const std::string svg = SvgPlot(figures, Shape::kSphere, "pillow");
  EXPECT_NE(svg.find("<polyline"), std::string::npos);
  EXPECT_NE(svg.find("enclosed volume"), std::string::npos);
  const std::string csv = CsvText(figures, Shape::kSphere);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

}  // namespace
}  // namespace tumelin
