#include "render.h"

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "det_math.h"
#include "geometry.h"
#include "user_text.h"

namespace tumelin {

namespace {

constexpr int kSuper = 2;  // supersampling per axis
// angles in millionths of a degree, so the camera's trigonometry is exact
// integer reduction plus the deterministic series
constexpr int64_t kMicroDegreesPerTurn = 360000000;

SinCos SinCosDegrees(double degrees) {
  return SinCosTurns(std::llround(degrees * 1e6), kMicroDegreesPerTurn);
}

// x^48 by squaring: the highlight's falloff, without the runtime's pow
double Power48(double x) {
  double p = x * x * x;  // x^3
  for (int i = 0; i < 4; ++i) p *= p;
  return p;
}

struct Camera {
  TDbl3D toEye, right, up;
};

Camera CameraFor(const View& view) {
  const SinCos az = SinCosDegrees(view.azimuth), el = SinCosDegrees(view.elevation);
  Camera c;
  c.toEye = {el.cos * az.cos, el.cos * az.sin, el.sin};
  c.right = VecNormalize(VecCross(c.toEye * -1.0, TDbl3D{0, 0, 1}));
  c.up = VecCross(c.right, c.toEye * -1.0);
  return c;
}

}  // namespace

bool ParseView(std::string_view text, View* view, std::string* error) {
  const size_t comma = text.find(',');
  View v;
  if (comma == std::string_view::npos) {
    *error = "view must be AZIMUTH,ELEVATION in degrees (e.g. -55,28), not '" + std::string(text) + "'";
    return false;
  }
  if (!ReadReal("azimuth", TrimBlanks(text.substr(0, comma)), &v.azimuth, error) ||
      !ReadReal("elevation", TrimBlanks(text.substr(comma + 1)), &v.elevation, error)) {
    return false;
  }
  if (std::fabs(v.azimuth) > 3600.0) {
    *error = "azimuth must lie between -3600 and 3600 degrees, not " + std::string(text.substr(0, comma));
    return false;
  }
  if (std::fabs(v.elevation) > kMaxElevation) {
    *error = "elevation must lie between -89 and 89 degrees, not " + std::string(text.substr(comma + 1));
    return false;
  }
  *view = v;
  return true;
}

Framing FixedFraming(const std::vector<TDbl3D>& startPositions) {
  Framing f;
  if (startPositions.empty()) return f;
  TDbl3D lo = startPositions.front(), hi = lo;
  for (const TDbl3D& p : startPositions) {
    lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
    hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
  }
  f.center = (lo + hi) * 0.5;
  double reach = 0.0;
  for (const TDbl3D& p : startPositions) reach = std::max(reach, VecLength(p - f.center));
  // a single point or a shape of zero size still gets a picture
  f.radius = std::max(reach, 1e-6) * kFixedFramingRoom;
  return f;
}

bool LeavesFrame(const std::vector<TDbl3D>& positions, int width, int height, const RenderOptions& options) {
  if (options.autoFrame) return false;
  const Camera cam = CameraFor(options.view);
  // half the picture's sides in the units of the framing ball
  const double scale = std::min(width, height) / (2.0 * options.framing.radius);
  const double halfX = 0.5 * width / scale, halfY = 0.5 * height / scale;
  for (const TDbl3D& p : positions) {
    const TDbl3D d = p - options.framing.center;
    if (!(std::fabs(Dot(d, cam.right)) <= halfX && std::fabs(Dot(d, cam.up)) <= halfY)) return true;
  }
  return false;
}

bool OutgrowsFrame(const std::vector<TDbl3D>& positions, int width, int height,
                   const RenderOptions& options) {
  const TDbl3D shift = options.framing.center - FixedFraming(positions).center;
  std::vector<TDbl3D> centred = positions;
  for (TDbl3D& p : centred) p = p + shift;
  return LeavesFrame(centred, width, height, options);
}

namespace {

// the supersampled picture being drawn: colour and depth per sample
struct Canvas {
  int width = 0, height = 0;  // in samples
  std::vector<float> color;
  std::vector<double> depth;
};

// background: a soft vertical gradient, nothing drawn in front of it yet
Canvas BackgroundCanvas(int width, int height) {
  Canvas canvas;
  canvas.width = width, canvas.height = height;
  canvas.color.resize(static_cast<size_t>(width) * height * 3);
  canvas.depth.assign(static_cast<size_t>(width) * height, -std::numeric_limits<double>::infinity());
  for (int y = 0; y < height; ++y) {
    const float t = static_cast<float>(y) / static_cast<float>(height - 1);
    for (int x = 0; x < width; ++x) {
      float* c = &canvas.color[(static_cast<size_t>(y) * width + x) * 3];
      c[0] = 0.93f - 0.16f * t, c[1] = 0.95f - 0.14f * t, c[2] = 0.98f - 0.10f * t;
    }
  }
  return canvas;
}

bool Drawable(const GridMesh& mesh) {
  bool finite = !mesh.triangles.empty();
  for (const TDbl3D& p : mesh.vertices)
    finite = finite && std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z);
  return finite;
}

// smooth normals: area-weighted, shared by cells at the same position
struct SmoothNormals {
  std::vector<size_t> slotOf;  // per vertex
  std::vector<TDbl3D> normals;
  TDbl3D At(int32_t vertex) const { return normals[slotOf[size_t(vertex)]]; }
};

SmoothNormals SmoothNormalsOf(const GridMesh& mesh) {
  SmoothNormals smooth;
  std::map<std::array<uint64_t, 3>, size_t> slot;
  smooth.slotOf.resize(mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    std::array<uint64_t, 3> key;
    std::memcpy(key.data(), &mesh.vertices[i], sizeof(TDbl3D));
    smooth.slotOf[i] = slot.emplace(key, slot.size()).first->second;
  }
  smooth.normals.assign(slot.size(), kZeroVector);
  for (const auto& t : mesh.triangles) {
    const TDbl3D a = mesh.vertices[size_t(t[0])];
    const TDbl3D n = VecCross(mesh.vertices[size_t(t[1])] - a, mesh.vertices[size_t(t[2])] - a);
    for (int32_t k : t)
      smooth.normals[smooth.slotOf[size_t(k)]] = smooth.normals[smooth.slotOf[size_t(k)]] + n;
  }
  for (TDbl3D& n : smooth.normals) n = VecNormalize(n);
  return smooth;
}

// the vertices in samples across and down, and their depth towards the eye
std::vector<TDbl3D> ProjectToScreen(const GridMesh& mesh, const Camera& cam, const RenderOptions& options,
                                    int width, int height) {
  double xMin = 1e300, xMax = -1e300, yMin = 1e300, yMax = -1e300;
  std::vector<TDbl3D> screen(mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const TDbl3D p = mesh.vertices[i];
    screen[i] = {Dot(p, cam.right), Dot(p, cam.up), Dot(p, cam.toEye)};
    xMin = std::min(xMin, screen[i].X), xMax = std::max(xMax, screen[i].X);
    yMin = std::min(yMin, screen[i].Y), yMax = std::max(yMax, screen[i].Y);
  }
  double scale, cx, cy;
  if (options.autoFrame) {
    const double span = std::max({xMax - xMin, (yMax - yMin) * width / height, 1e-9});
    scale = 0.86 * width / span;
    cx = 0.5 * (xMin + xMax), cy = 0.5 * (yMin + yMax);
  } else {
    // the framing ball fills the shorter side, seen from any direction
    scale = std::min(width, height) / (2.0 * options.framing.radius);
    cx = Dot(options.framing.center, cam.right), cy = Dot(options.framing.center, cam.up);
  }
  for (TDbl3D& s : screen) s = {width * 0.5 + (s.X - cx) * scale, height * 0.5 - (s.Y - cy) * scale, s.Z};
  return screen;
}

// where the light comes from
struct Lighting {
  TDbl3D toEye, light, fill;
};

// the colour of a face with normal `n` at a sample: warm outside, cool inside
TDbl3D Shade(TDbl3D n, bool front, const Lighting& lit) {
  if (!front) n = n * -1.0;
  if (Dot(n, lit.toEye) < 0) n = n * -1.0;
  const double diffuse = std::max(0.0, Dot(n, lit.light));
  const double fillLight = std::max(0.0, Dot(n, lit.fill));
  const double highlight = Power48(std::max(0.0, Dot(n, VecNormalize(lit.light + lit.toEye))));
  const TDbl3D base = front ? TDbl3D{0.86, 0.42, 0.26} : TDbl3D{0.30, 0.52, 0.78};
  return base * (0.22 + 0.68 * diffuse + 0.18 * fillLight) + TDbl3D{1, 1, 1} * (0.30 * highlight);
}

// triangle `ti` into the samples it covers and is in front at
void DrawTriangle(const GridMesh& mesh, size_t ti, const std::vector<TDbl3D>& screen,
                  const SmoothNormals& smooth, const Lighting& lit, bool drawLines, Canvas* canvas) {
  const int width = canvas->width, height = canvas->height;
  const auto& t = mesh.triangles[ti];
  const TDbl3D s0 = screen[size_t(t[0])], s1 = screen[size_t(t[1])], s2 = screen[size_t(t[2])];
  const double area = (s1.X - s0.X) * (s2.Y - s0.Y) - (s1.Y - s0.Y) * (s2.X - s0.X);
  if (std::fabs(area) < 1e-12) return;
  // screen y points down, so a counter-clockwise outside face has area < 0
  const bool front = area < 0;
  auto length = [](double dx, double dy) { return std::sqrt(dx * dx + dy * dy); };
  const double edgeLen[3] = {length(s2.X - s1.X, s2.Y - s1.Y), length(s0.X - s2.X, s0.Y - s2.Y),
                             length(s1.X - s0.X, s1.Y - s0.Y)};
  // a shape that leaves the fixed frame is cut at the border
  const double left = std::max(0.0, std::floor(std::min({s0.X, s1.X, s2.X})));
  const double rightEdge = std::min(width - 1.0, std::ceil(std::max({s0.X, s1.X, s2.X})));
  const double top = std::max(0.0, std::floor(std::min({s0.Y, s1.Y, s2.Y})));
  const double bottom = std::min(height - 1.0, std::ceil(std::max({s0.Y, s1.Y, s2.Y})));
  if (left > rightEdge || top > bottom) return;
  const int x0 = static_cast<int>(left), x1 = static_cast<int>(rightEdge);
  const int y0 = static_cast<int>(top), y1 = static_cast<int>(bottom);
  const TDbl3D n0 = smooth.At(t[0]), n1 = smooth.At(t[1]), n2 = smooth.At(t[2]);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      const double w0 = ((s1.X - px) * (s2.Y - py) - (s1.Y - py) * (s2.X - px)) / area;
      const double w1 = ((s2.X - px) * (s0.Y - py) - (s2.Y - py) * (s0.X - px)) / area;
      const double w2 = 1.0 - w0 - w1;
      if (w0 < -1e-9 || w1 < -1e-9 || w2 < -1e-9) continue;
      const double z = w0 * s0.Z + w1 * s1.Z + w2 * s2.Z;
      const size_t pixel = static_cast<size_t>(y) * width + x;
      if (z <= canvas->depth[pixel]) continue;
      canvas->depth[pixel] = z;
      TDbl3D c = Shade(VecNormalize(n0 * w0 + n1 * w1 + n2 * w2), front, lit);
      if (drawLines) {
        const double ws[3] = {w0, w1, w2};
        for (int k = 0; k < 3; ++k) {
          // distance to the edge opposite corner k, in pixels
          if (mesh.gridEdge[ti][size_t(k)] && ws[k] * std::fabs(area) / edgeLen[k] < 0.9 * kSuper)
            c = c * 0.72;
        }
      }
      float* out = &canvas->color[pixel * 3];
      out[0] = static_cast<float>(std::min(1.0, c.X));
      out[1] = static_cast<float>(std::min(1.0, c.Y));
      out[2] = static_cast<float>(std::min(1.0, c.Z));
    }
  }
}

// box filter down to the output size
Image Downsample(const Canvas& canvas, int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int ch = 0; ch < 3; ++ch) {
        float sum = 0;
        for (int sy = 0; sy < kSuper; ++sy) {
          for (int sx = 0; sx < kSuper; ++sx) {
            sum +=
                canvas.color[((static_cast<size_t>(y) * kSuper + sy) * canvas.width + x * kSuper + sx) * 3 +
                             ch];
          }
        }
        const float v = sum / (kSuper * kSuper);
        image.rgb[(static_cast<size_t>(y) * width + x) * 3 + ch] =
            static_cast<uint8_t>(std::lround(v * 255.0f));
      }
    }
  }
  return image;
}

}  // namespace

Image RenderMesh(const GridMesh& mesh, int width, int height, const RenderOptions& options) {
  Canvas canvas = BackgroundCanvas(width * kSuper, height * kSuper);
  if (Drawable(mesh)) {
    // orthographic camera looking at the shape from the chosen direction
    const Camera cam = CameraFor(options.view);
    Lighting lit;
    lit.toEye = cam.toEye;
    lit.light = VecNormalize(cam.toEye + cam.right * -0.6 + cam.up * 0.9);
    lit.fill = VecNormalize(cam.right * 0.8 + cam.up * -0.2 + cam.toEye * 0.5);
    const SmoothNormals smooth = SmoothNormalsOf(mesh);
    const std::vector<TDbl3D> screen = ProjectToScreen(mesh, cam, options, canvas.width, canvas.height);
    // grid lines only when a cell spans several pixels
    const double cellPixels = std::sqrt(static_cast<double>(canvas.width) * canvas.height /
                                        std::max<size_t>(mesh.triangles.size(), 1));
    const bool drawLines = cellPixels > 10.0 * kSuper;
    for (size_t ti = 0; ti < mesh.triangles.size(); ++ti)
      DrawTriangle(mesh, ti, screen, smooth, lit, drawLines, &canvas);
  }
  return Downsample(canvas, width, height);
}

Image RenderSurface(const TSurfaceGrid* grid, Shape shape, int width, int height,
                    const RenderOptions& options) {
  return RenderMesh(MeshFromGrid(grid, shape), width, height, options);
}

std::string EncodePng(const Image& image) {
  std::string bytes;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  if (stbi_write_png_to_func(append, &bytes, image.width, image.height, 3, image.rgb.data(),
                             image.width * 3) == 0) {
    bytes.clear();
  }
  return bytes;
}

bool DecodePng(const std::string& bytes, Image* image) {
  int w = 0, h = 0, channels = 0;
  unsigned char* data = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                              static_cast<int>(bytes.size()), &w, &h, &channels, 3);
  if (data == nullptr) return false;
  image->width = w;
  image->height = h;
  image->rgb.assign(data, data + static_cast<size_t>(w) * h * 3);
  stbi_image_free(data);
  return true;
}

// ---- labels --------------------------------------------------------------------

namespace {

// seven rows of five dots each, bit 4 the leftmost dot
struct Glyph {
  char c;
  uint8_t rows[kGlyphHeight];
};

constexpr Glyph kGlyphs[] = {
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {';', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}}, {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}}, {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}}, {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}}, {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}}, {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}}, {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}}, {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}}, {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}}, {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}}, {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'b', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}}, {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'d', {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}}, {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}}, {'g', {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'j', {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}}, {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}}, {'q', {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}}, {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}}, {'y', {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'z', {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}},
};

// what a character without a glyph looks like
constexpr Glyph kBox = {'?', {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F}};

const Glyph& GlyphOf(char c) {
  for (const Glyph& g : kGlyphs) {
    if (g.c == c) return g;
  }
  return kBox;
}

}  // namespace

bool HasGlyph(char c) { return &GlyphOf(c) != &kBox; }

int TextWidth(std::string_view text, int scale) {
  return text.empty()
             ? 0
             : (static_cast<int>(text.size()) * kGlyphAdvance - (kGlyphAdvance - kGlyphWidth)) * scale;
}

void DrawText(Image* image, int x, int y, std::string_view text, int scale, const uint8_t rgb[3]) {
  for (size_t i = 0; i < text.size(); ++i) {
    const Glyph& g = GlyphOf(text[i]);
    const int left = x + static_cast<int>(i) * kGlyphAdvance * scale;
    for (int row = 0; row < kGlyphHeight; ++row) {
      for (int col = 0; col < kGlyphWidth; ++col) {
        if ((g.rows[row] >> (kGlyphWidth - 1 - col) & 1) == 0) continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            const int px = left + col * scale + dx, py = y + row * scale + dy;
            if (px < 0 || py < 0 || px >= image->width || py >= image->height) continue;
            std::memcpy(&image->rgb[(static_cast<size_t>(py) * image->width + px) * 3], rgb, 3);
          }
        }
      }
    }
  }
}

// ---- contact sheet -------------------------------------------------------------

namespace {

constexpr int kSheetMargin = 12, kSheetGap = 12;
constexpr uint8_t kInk[3] = {40, 40, 48};
constexpr uint8_t kFailRed[3] = {200, 30, 30};
constexpr uint8_t kNoPicture[3] = {214, 214, 214};

void FillRect(Image* image, int x, int y, int w, int h, const uint8_t rgb[3]) {
  for (int py = std::max(0, y); py < std::min(image->height, y + h); ++py) {
    for (int px = std::max(0, x); px < std::min(image->width, x + w); ++px) {
      std::memcpy(&image->rgb[(static_cast<size_t>(py) * image->width + px) * 3], rgb, 3);
    }
  }
}

// a thick line from (x0, y0) to (x1, y1), dot by dot
void DrawLine(Image* image, int x0, int y0, int x1, int y1, int thickness, const uint8_t rgb[3]) {
  const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int i = 0; i <= steps; ++i) {
    const int x = x0 + (x1 - x0) * i / std::max(steps, 1), y = y0 + (y1 - y0) * i / std::max(steps, 1);
    FillRect(image, x - thickness / 2, y - thickness / 2, thickness, thickness, rgb);
  }
}

}  // namespace

SheetLayout LayoutSheet(const std::vector<Tile>& tiles, int columns, const std::string& title) {
  SheetLayout l;
  l.columns = std::max(1, columns);
  for (const Tile& t : tiles) {
    l.pictureWidth = std::max(l.pictureWidth, t.picture.width);
    l.pictureHeight = std::max(l.pictureHeight, t.picture.height);
    l.labelLines = std::max(l.labelLines, static_cast<int>(t.label.size()));
  }
  // a sweep where no run left a picture still gets tiles to mark
  if (l.pictureWidth == 0) l.pictureWidth = 160, l.pictureHeight = 120;
  l.labelScale = l.pictureWidth >= 200 ? 2 : 1;
  // labels are never cut: a value cut short would read as another value
  l.placeWidth = l.pictureWidth;
  for (const Tile& t : tiles) {
    for (const std::string& line : t.label)
      l.placeWidth = std::max(l.placeWidth, TextWidth(line, l.labelScale));
  }
  l.titleHeight = 2 * kLineAdvance + kSheetMargin;
  const int captionHeight = l.labelLines * kLineAdvance * l.labelScale + 6;
  l.tileHeight = l.pictureHeight + captionHeight;
  const int rows = (static_cast<int>(tiles.size()) + l.columns - 1) / l.columns;
  const int shownColumns = std::min(l.columns, std::max(1, static_cast<int>(tiles.size())));
  l.width = 2 * kSheetMargin +
            std::max(shownColumns * l.placeWidth + (shownColumns - 1) * kSheetGap, TextWidth(title, 2));
  l.height =
      kSheetMargin + l.titleHeight + rows * l.tileHeight + std::max(0, rows - 1) * kSheetGap + kSheetMargin;
  for (size_t i = 0; i < tiles.size(); ++i) {
    const int column = static_cast<int>(i) % l.columns, row = static_cast<int>(i) / l.columns;
    l.pictureOrigins.push_back({kSheetMargin + column * (l.placeWidth + kSheetGap),
                                kSheetMargin + l.titleHeight + row * (l.tileHeight + kSheetGap)});
  }
  return l;
}

Image ContactSheet(const std::vector<Tile>& tiles, int columns, const std::string& title) {
  const SheetLayout l = LayoutSheet(tiles, columns, title);
  Image sheet;
  sheet.width = l.width;
  sheet.height = l.height;
  sheet.rgb.assign(static_cast<size_t>(l.width) * l.height * 3, 255);
  DrawText(&sheet, kSheetMargin, kSheetMargin, title, 2, kInk);
  for (size_t i = 0; i < tiles.size(); ++i) {
    const Tile& t = tiles[i];
    const auto [placeX, y] = l.pictureOrigins[i];
    const int x = placeX + (l.placeWidth - l.pictureWidth) / 2;
    if (t.picture.width > 0) {
      // smaller pictures sit in the middle of their place
      const int ox = x + (l.pictureWidth - t.picture.width) / 2,
                oy = y + (l.pictureHeight - t.picture.height) / 2;
      for (int py = 0; py < t.picture.height; ++py) {
        std::memcpy(&sheet.rgb[(static_cast<size_t>(oy + py) * l.width + ox) * 3],
                    &t.picture.rgb[static_cast<size_t>(py) * t.picture.width * 3],
                    static_cast<size_t>(t.picture.width) * 3);
      }
    } else {
      FillRect(&sheet, x, y, l.pictureWidth, l.pictureHeight, kNoPicture);
    }
    if (t.failed) {
      const int thick = 2 * l.labelScale;
      FillRect(&sheet, x, y, l.pictureWidth, thick, kFailRed);
      FillRect(&sheet, x, y + l.pictureHeight - thick, l.pictureWidth, thick, kFailRed);
      FillRect(&sheet, x, y, thick, l.pictureHeight, kFailRed);
      FillRect(&sheet, x + l.pictureWidth - thick, y, thick, l.pictureHeight, kFailRed);
      DrawLine(&sheet, x, y, x + l.pictureWidth - 1, y + l.pictureHeight - 1, thick, kFailRed);
      DrawLine(&sheet, x + l.pictureWidth - 1, y, x, y + l.pictureHeight - 1, thick, kFailRed);
    }
    for (size_t line = 0; line < t.label.size(); ++line) {
      // a failed run's last line says why, in red
      const bool why = t.failed && line + 1 == t.label.size();
      DrawText(&sheet, placeX, y + l.pictureHeight + 4 + static_cast<int>(line) * kLineAdvance * l.labelScale,
               t.label[line], l.labelScale, why ? kFailRed : kInk);
    }
  }
  return sheet;
}

}  // namespace tumelin

// ---- animation -----------------------------------------------------------------

#ifdef TUMELIN_HAVE_GIFLIB
#include <gif_lib.h>

namespace tumelin {

struct GifAnimation::Encoder {
  GifFileType* gif = nullptr;
  std::string bytes;
  int width = 0, height = 0;
  int error = 0;
};

namespace {

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int size) {
  static_cast<GifAnimation::Encoder*>(gif->UserData)
      ->bytes.append(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
  return size;
}

std::string GifError(const char* what, int code) {
  const char* text = GifErrorString(code);
  return std::string("GIF animation: ") + what + ": " + (text != nullptr ? text : "giflib error");
}

}  // namespace

bool CanWriteGif() { return true; }

GifAnimation::GifAnimation(int delayCentiseconds) : encoder_(new Encoder), delay_(delayCentiseconds) {}

GifAnimation::~GifAnimation() {
  if (encoder_->gif != nullptr) EGifCloseFile(encoder_->gif, &encoder_->error);
}

bool GifAnimation::Add(const Image& frame, std::string* error) {
  Encoder& e = *encoder_;
  if (e.gif == nullptr) {
    if (frames_ > 0) {
      *error = "GIF animation: already finished";
      return false;
    }
    e.gif = EGifOpen(&e, AppendGifBytes, &e.error);
    if (e.gif == nullptr) {
      *error = GifError("cannot start", e.error);
      return false;
    }
    e.gif->UserData = &e;
    e.width = frame.width, e.height = frame.height;
    EGifSetGifVersion(e.gif, true);
    // no global palette: every frame brings its own
    if (EGifPutScreenDesc(e.gif, e.width, e.height, 8, 0, nullptr) == GIF_ERROR) {
      *error = GifError("screen", e.gif->Error);
      return false;
    }
    // the application extension that makes viewers loop: NETSCAPE2.0, 0 = forever
    const GifByteType loop[3] = {1, 0, 0};
    if (EGifPutExtensionLeader(e.gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(e.gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(e.gif, 3, loop) == GIF_ERROR || EGifPutExtensionTrailer(e.gif) == GIF_ERROR) {
      *error = GifError("loop extension", e.gif->Error);
      return false;
    }
  }
  if (frame.width != e.width || frame.height != e.height) {
    *error = "GIF animation: a frame of another size";
    return false;
  }
  const size_t pixels = static_cast<size_t>(e.width) * e.height;
  std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
  for (size_t i = 0; i < pixels; ++i) {
    red[i] = frame.rgb[3 * i], green[i] = frame.rgb[3 * i + 1], blue[i] = frame.rgb[3 * i + 2];
  }
  int colors = 256;
  ColorMapObject* palette = GifMakeMapObject(256, nullptr);
  if (palette == nullptr ||
      GifQuantizeBuffer(static_cast<unsigned>(e.width), static_cast<unsigned>(e.height), &colors, red.data(),
                        green.data(), blue.data(), indices.data(), palette->Colors) == GIF_ERROR) {
    GifFreeMapObject(palette);
    *error = "GIF animation: cannot choose the colours of a frame";
    return false;
  }
  GraphicsControlBlock control = {DISPOSE_DO_NOT, false, delay_, NO_TRANSPARENT_COLOR};
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  bool ok = EGifPutExtension(e.gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
            EGifPutImageDesc(e.gif, 0, 0, e.width, e.height, false, palette) != GIF_ERROR;
  for (int y = 0; ok && y < e.height; ++y) {
    ok = EGifPutLine(e.gif, &indices[static_cast<size_t>(y) * e.width], e.width) != GIF_ERROR;
  }
  GifFreeMapObject(palette);
  if (!ok) {
    *error = GifError("frame", e.gif->Error);
    return false;
  }
  ++frames_;
  return true;
}

bool GifAnimation::Finish(std::string* bytes, std::string* error) {
  Encoder& e = *encoder_;
  if (e.gif == nullptr || frames_ == 0) {
    *error = "GIF animation: no frames";
    return false;
  }
  const int closed = EGifCloseFile(e.gif, &e.error);
  e.gif = nullptr;
  if (closed == GIF_ERROR) {
    *error = GifError("cannot finish", e.error);
    return false;
  }
  *bytes = std::move(e.bytes);
  return true;
}

}  // namespace tumelin

#else

namespace tumelin {

struct GifAnimation::Encoder {};

bool CanWriteGif() { return false; }
GifAnimation::GifAnimation(int delayCentiseconds) : encoder_(new Encoder), delay_(delayCentiseconds) {}
GifAnimation::~GifAnimation() = default;
bool GifAnimation::Add(const Image&, std::string* error) {
  *error = kNoGifMessage;
  return false;
}
bool GifAnimation::Finish(std::string*, std::string* error) {
  *error = kNoGifMessage;
  return false;
}

}  // namespace tumelin

#endif
