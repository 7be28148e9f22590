// The pictures: surface, camera and framing, PNG, the font and the contact
// sheet.
#include "render.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// the red, green and blue of pixel (x, y)
const uint8_t* Pixel(const Image& image, int x, int y) {
  return &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
}

TEST(Render, DrawsTheSurfaceInTheMiddleAndBackgroundAtTheCorners) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  auto storage = FilledGrid(m);
  const Image image =
      RenderSurface(reinterpret_cast<TSurfaceGrid*>(storage.data()), Shape::kSphere, 64, 48, RenderOptions{});
  // the outside colour is warm: red above blue; the background is bluish
  EXPECT_GT(Pixel(image, 32, 24)[0], Pixel(image, 32, 24)[2]);
  EXPECT_LT(Pixel(image, 0, 0)[0], Pixel(image, 0, 0)[2]);
  const std::string png = EncodePng(image);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

// pixels whose colour is not the background's (which is bluish-grey, with
// red never above blue)
size_t ShapePixels(const Image& image) {
  size_t n = 0;
  for (size_t i = 0; i < image.rgb.size(); i += 3) n += image.rgb[i] > image.rgb[i + 2] + 8 ? 1 : 0;
  return n;
}

TEST(Framing, FixedKeepsOneScaleWhileAutoFitsEachPicture) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 33, 17));
  RenderOptions fixed;
  fixed.framing = FixedFraming(PointPositions(m));
  RenderOptions automatic;
  automatic.autoFrame = true;
  const TDbl3D c = fixed.framing.center;
  // a shape 1.2 times the size covers 1.44 times the pixels in a fixed
  // frame and about as many as before in a frame of its own; the bounds
  // allow for the pixels along the outline
  const double fixedRatio = static_cast<double>(ShapePixels(RenderScaled(m, fixed, 1.2, c))) /
                            static_cast<double>(ShapePixels(RenderScaled(m, fixed, 1.0, c)));
  const double autoRatio = static_cast<double>(ShapePixels(RenderScaled(m, automatic, 1.2, c))) /
                           static_cast<double>(ShapePixels(RenderScaled(m, automatic, 1.0, c)));
  EXPECT_NEAR(fixedRatio, 1.44, 0.08);
  EXPECT_NEAR(autoRatio, 1.0, 0.05);
  // the start shape with its room fits into the picture: no shape pixel on the border
  const Image start = RenderScaled(m, fixed, 1.0, c);
  for (int x = 0; x < start.width; ++x) {
    for (int y : {0, start.height - 1}) {
      EXPECT_LE(Pixel(start, x, y)[0], Pixel(start, x, y)[2] + 8) << x << "," << y;
    }
  }
}

TEST(Framing, SaysWhenAShapeGrowsOutOfIt) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  RenderOptions options;
  options.framing = FixedFraming(PointPositions(m));
  std::vector<TDbl3D> grown = PointPositions(m);
  EXPECT_FALSE(LeavesFrame(grown, 120, 90, options));
  // the room is 1.45 times the start size: twice the size leaves the frame
  for (TDbl3D& p : grown) p = options.framing.center + (p - options.framing.center) * 2.0;
  EXPECT_TRUE(LeavesFrame(grown, 120, 90, options) && OutgrowsFrame(grown, 120, 90, options));
  // the start shape fallen by its height leaves the frame without growing
  std::vector<TDbl3D> fallen = PointPositions(m);
  for (TDbl3D& p : fallen) p.Z -= 2.0;
  EXPECT_TRUE(LeavesFrame(fallen, 120, 90, options) && !OutgrowsFrame(fallen, 120, 90, options));
  options.autoFrame = true;
  EXPECT_FALSE(LeavesFrame(grown, 120, 90, options));
}

TEST(Framing, DependsOnTheStartShapeAlone) {
  const Membrane a = BuildMembrane(Params(Shape::kTorus, 33, 17));
  const Framing f = FixedFraming(PointPositions(a));
  // the torus of major radius 1 and minor radius 0.4 reaches 1.4 from its centre
  EXPECT_NEAR(f.radius, 1.4 * kFixedFramingRoom, 1e-9);
  EXPECT_LT(VecLength(f.center), 1e-12);
  // the order of the points does not matter
  std::vector<TDbl3D> reversed = PointPositions(a);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_TRUE(SameBits(FixedFraming(reversed).center, f.center));
  EXPECT_EQ(FixedFraming(reversed).radius, f.radius);
}

TEST(View, TurnsTheCameraAroundTheShape) {
  MembraneParams p = Params(Shape::kTube, 33, 9);
  const Membrane tube = BuildMembrane(p);
  RenderOptions options;
  options.framing = FixedFraming(PointPositions(tube));
  auto centre = [](const Image& image) { return Pixel(image, image.width / 2, image.height / 2); };
  // from the side the middle of the tube shows its warm outside; from below
  // the open end shows the cool inside
  options.view = {30, 0};
  const Image side = RenderScaled(tube, options, 1.0, options.framing.center);
  EXPECT_GT(centre(side)[0], centre(side)[2]);
  options.view = {30, -80};
  const Image below = RenderScaled(tube, options, 1.0, options.framing.center);
  EXPECT_LT(centre(below)[0], centre(below)[2]);
  // a whole turn later the camera is the same, bit for bit
  options.view = {390, -80};
  EXPECT_EQ(RenderScaled(tube, options, 1.0, options.framing.center).rgb, below.rgb);
}

TEST(View, ParsesAzimuthAndElevation) {
  struct Case {
    const char* text;
    bool ok;
    double azimuth, elevation;
  };
  const Case cases[] = {
      {"-55,28", true, -55, 28}, {"30,-20", true, 30, -20}, {" 0 , 89 ", true, 0, 89}, {"0,90", false, 0, 0},
      {"10", false, 0, 0},       {"a,b", false, 0, 0},      {"0,nan", false, 0, 0},
  };
  for (const Case& c : cases) {
    View v;
    std::string error;
    EXPECT_EQ(ParseView(c.text, &v, &error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v.azimuth, c.azimuth) << c.text;
      EXPECT_EQ(v.elevation, c.elevation) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(Png, DecodesWhatItEncodes) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  const Image image = RenderScaled(m, RenderOptions{}, 1.0, TDbl3D{0, 0, 0}, 40, 30);
  Image back;
  ASSERT_TRUE(DecodePng(EncodePng(image), &back));
  EXPECT_EQ(back.width, 40);
  EXPECT_EQ(back.height, 30);
  EXPECT_EQ(back.rgb, image.rgb);
  EXPECT_FALSE(DecodePng("not a picture", &back));
}

TEST(Font, EveryCharacterALabelNeedsHasAGlyphOfItsOwn) {
  const std::string needed = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ .,;=-+()/:_%";
  std::set<std::vector<uint8_t>> shapes;
  const uint8_t white[3] = {255, 255, 255};
  for (char c : needed) {
    EXPECT_TRUE(HasGlyph(c)) << c;
    Image cell = Blank(kGlyphWidth, kGlyphHeight, 0);
    DrawText(&cell, 0, 0, std::string(1, c), 1, white);
    // no two characters look alike (a copied row table would)
    EXPECT_TRUE(shapes.insert(cell.rgb).second) << "'" << c << "' looks like another character";
  }
  EXPECT_FALSE(HasGlyph('#'));
}

TEST(Font, DrawsInsideTheTextsBoxAndClipsAtTheEdges) {
  const uint8_t ink[3] = {1, 2, 3};
  for (int scale : {1, 2, 3}) {
    const std::string text = "ClothK0=20";
    Image image = Blank(200, 40, 255);
    DrawText(&image, 7, 5, text, scale, ink);
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (Pixel(image, x, y)[0] == 1) {
          minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
          maxY = std::max(maxY, y);
        }
      }
    }
    EXPECT_EQ(minX, 7) << scale;
    EXPECT_EQ(maxX, 7 + TextWidth(text, scale) - 1) << scale;
    EXPECT_EQ(minY, 5) << scale;
    EXPECT_LE(maxY, 5 + kGlyphHeight * scale - 1) << scale;
  }
  // text that runs past every edge is cut, not written outside the image
  Image small = Blank(8, 8, 255);
  DrawText(&small, -4, -3, "WWWWW", 2, ink);
  EXPECT_EQ(small.rgb.size(), 8u * 8u * 3u);
}

TEST(ContactSheet, PlacesEveryPictureWhereItsLayoutSaysAndMarksFailures) {
  std::vector<Tile> tiles;
  for (int i = 0; i < 5; ++i) {
    Tile t;
    t.picture = Blank(60, 40, static_cast<uint8_t>(10 + 40 * i));
    t.label = {"ClothP=0." + std::to_string(i), "volume 4"};
    tiles.push_back(t);
  }
  tiles[3].failed = true;
  tiles[4].picture = Image{};                       // a run that left no picture
  tiles[4].label.push_back("ClothK0=0.000001234");  // wider than a picture: widens every place
  const SheetLayout layout = LayoutSheet(tiles, 3, "sweep of pillow");
  const Image sheet = ContactSheet(tiles, 3, "sweep of pillow");
  EXPECT_EQ(sheet.width, layout.width);
  EXPECT_EQ(sheet.height, layout.height);
  ASSERT_EQ(layout.pictureOrigins.size(), tiles.size());
  auto at = [&](int x, int y) { return Pixel(sheet, x, y); };
  // two rows of three places: the second row starts below the first's caption
  EXPECT_EQ(layout.pictureOrigins[3].first, layout.pictureOrigins[0].first);
  EXPECT_GT(layout.pictureOrigins[3].second, layout.pictureOrigins[0].second + layout.pictureHeight);
  EXPECT_GE(layout.placeWidth, TextWidth(tiles[4].label.back(), layout.labelScale));
  const int inset = (layout.placeWidth - layout.pictureWidth) / 2;
  for (size_t i = 0; i < 3; ++i) {
    const int x = layout.pictureOrigins[i].first + inset, y = layout.pictureOrigins[i].second;
    // the picture is copied pixel for pixel, corners included
    for (auto [dx, dy] : {std::pair{0, 0}, std::pair{59, 39}, std::pair{30, 20}}) {
      EXPECT_EQ(at(x + dx, y + dy)[0], tiles[i].picture.rgb[0]) << i;
    }
  }
  // the failed tile is framed and crossed in red: its corner and middle
  const int fx = layout.pictureOrigins[3].first + inset, fy = layout.pictureOrigins[3].second;
  for (auto [dx, dy] : {std::pair{0, 0}, std::pair{30, 20}}) {
    const uint8_t* p = at(fx + dx, fy + dy);
    EXPECT_GT(p[0], 150) << dx;
    EXPECT_LT(p[1], 80) << dx;
  }
  // a tile without a picture is grey, not black
  const int ex = layout.pictureOrigins[4].first + inset, ey = layout.pictureOrigins[4].second;
  EXPECT_GT(at(ex + 30, ey + 20)[0], 150);
  // every label is drawn in its caption: ink below each picture
  for (size_t i = 0; i < tiles.size(); ++i) {
    const auto [x, y] = layout.pictureOrigins[i];
    bool ink = false;
    for (int dy = layout.pictureHeight; dy < layout.tileHeight && !ink; ++dy) {
      for (int dx = 0; dx < layout.placeWidth && !ink; ++dx) ink = at(x + dx, y + dy)[0] < 100;
    }
    EXPECT_TRUE(ink) << i;
  }
}

}  // namespace
}  // namespace tumelin
