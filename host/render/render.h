// A small software rasteriser: the grid surface, shaded, from a camera the
// caller chooses, encoded as PNG; a built-in bitmap font for labels; and the
// contact sheet that puts many pictures side by side. Only + - * / and sqrt,
// so the Linux and the Windows build draw the same pixels.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grid_mesh.h"
#include "membrane.h"

namespace tumelin {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row-major, 3 bytes per pixel
};

// where the camera looks from, in degrees: azimuth around +z from +x,
// elevation above the xy plane; the camera always looks at the shape
struct View {
  double azimuth = -55.0;
  double elevation = 28.0;
};
inline constexpr double kMaxElevation = 89.0;  // keeps "up" defined

// the orthographic camera of a view: unit vectors towards the eye, to the
// right of the picture and up it
struct Camera {
  TDbl3D toEye, right, up;
};
Camera CameraFor(const View& view);

// "AZIMUTH,ELEVATION" in degrees, e.g. "-55,28" or "30,-20"; elevation
// within +-kMaxElevation. false with a one-line message
bool ParseView(std::string_view text, View* view, std::string* error);

// the part of space a picture shows: the ball of `radius` around `center`,
// fitted into the picture's shorter side whatever the view
struct Framing {
  TDbl3D center = {0, 0, 0};
  double radius = 1.0;
};

// room left around the start shape, as a factor on its size: an inflating
// membrane stays in the picture up to about this much growth
inline constexpr double kFixedFramingRoom = 1.45;

// fixed framing from the start positions: the ball around their bounding
// box's centre that holds them, times kFixedFramingRoom. Every picture of
// one scenario drawn with it shares one scale and one centre, whatever the
// settings, the step or the view.
Framing FixedFraming(const std::vector<TDbl3D>& startPositions);

struct RenderOptions {
  View view;
  bool autoFrame = false;  // true: fit each picture to its own shape
  Framing framing;         // used unless autoFrame
};

// whether a point of `positions` falls outside a width x height picture
// drawn with the fixed framing of `options`: the shape is then cut
bool LeavesFrame(const std::vector<TDbl3D>& positions, int width, int height, const RenderOptions& options);
// whether the shape leaves that picture even when it is moved so that its
// bounding box's centre is the frame's: it has grown too large for the
// frame, rather than moved out of it
bool OutgrowsFrame(const std::vector<TDbl3D>& positions, int width, int height, const RenderOptions& options);

// outside faces warm, inside faces (seen through openings) cool; grid lines
// drawn where the cells are large enough to show them. A mesh with a
// coordinate that is not finite is drawn as the background alone.
Image RenderMesh(const GridMesh& mesh, int width, int height, const RenderOptions& options);
Image RenderSurface(const TSurfaceGrid* grid, Shape shape, int width, int height,
                    const RenderOptions& options);

// PNG bytes of the image; empty on failure
std::string EncodePng(const Image& image);
// the image in PNG bytes (any PNG, converted to RGB); false when unreadable
bool DecodePng(const std::string& bytes, Image* image);

// ---- labels --------------------------------------------------------------------

// the built-in font: 5 x 7 dots in cells of 6 x 9, digits, letters of both
// cases, space and . , = - + ( ) / : _ %; any other character is drawn as
// a box
inline constexpr int kGlyphWidth = 5, kGlyphHeight = 7, kGlyphAdvance = 6, kLineAdvance = 9;
bool HasGlyph(char c);
// pixels the text takes across at `scale` dots per font dot
int TextWidth(std::string_view text, int scale);
// draws `text` with its top left corner at (x, y), clipped to the image
void DrawText(Image* image, int x, int y, std::string_view text, int scale, const uint8_t rgb[3]);

// ---- contact sheet -------------------------------------------------------------

// one picture of a contact sheet and the lines printed under it
struct Tile {
  Image picture;  // empty (width 0) for a run that left none
  std::vector<std::string> label;
  bool failed = false;  // framed in red and crossed out
};

// where everything of a contact sheet goes
struct SheetLayout {
  int width = 0, height = 0;
  int columns = 1;
  int pictureWidth = 0, pictureHeight = 0;  // the largest picture's
  int placeWidth = 0;                       // a tile's: its picture or its longest label line
  int labelLines = 0, labelScale = 1;
  int titleHeight = 0, tileHeight = 0;              // tile: picture and caption
  std::vector<std::pair<int, int>> pictureOrigins;  // top left of each tile's place
};
// (wide enough for the title at twice the font's size)
SheetLayout LayoutSheet(const std::vector<Tile>& tiles, int columns, const std::string& title);

// the tiles in rows of `columns` on white, each picture in the middle of a
// place as wide as the widest picture or label line, captioned with its
// label lines; a title line on top
Image ContactSheet(const std::vector<Tile>& tiles, int columns, const std::string& title);

// ---- animation -----------------------------------------------------------------

// an animated GIF that loops forever, built in memory frame by frame; each
// frame gets its own palette of up to 256 colours (giflib's median cut)
class GifAnimation {
 public:
  // every frame shows for `delayCentiseconds`
  explicit GifAnimation(int delayCentiseconds);
  ~GifAnimation();
  GifAnimation(const GifAnimation&) = delete;
  GifAnimation& operator=(const GifAnimation&) = delete;

  // frames must all have the first one's size; false with a message
  bool Add(const Image& frame, std::string* error);
  // the finished file; false with a message (also for no frames at all)
  bool Finish(std::string* bytes, std::string* error);

  struct Encoder;  // giflib's state

 private:
  std::unique_ptr<Encoder> encoder_;
  int delay_;
  int frames_ = 0;
};

}  // namespace tumelin
