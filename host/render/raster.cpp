// the software rasteriser: camera, framing, smooth shading and the grid
// lines of a surface, drawn at a larger size and downsampled
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "det_math.h"
#include "geometry.h"
#include "look.h"
#include "render.h"
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
static_assert(look::kHighlightPower == 48, "Power48 squares x^3 four times: change both together");
double Power48(double x) {
  double p = x * x * x;  // x^3
  for (int i = 0; i < 4; ++i) p *= p;
  return p;
}

}  // namespace

Camera CameraFor(const View& view) {
  const SinCos az = SinCosDegrees(view.azimuth), el = SinCosDegrees(view.elevation);
  Camera c;
  c.toEye = {el.cos * az.cos, el.cos * az.sin, el.sin};
  c.right = VecNormalize(VecCross(c.toEye * -1.0, TDbl3D{0, 0, 1}));
  c.up = VecCross(c.right, c.toEye * -1.0);
  return c;
}

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
      for (int ch = 0; ch < 3; ++ch) c[ch] = look::kBackgroundTop[ch] - look::kBackgroundFade[ch] * t;
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
  const TDbl3D base = front ? look::kOutside : look::kInside;
  return base * (look::kAmbient + look::kDiffuse * diffuse + look::kFill * fillLight) +
         TDbl3D{1, 1, 1} * (look::kHighlight * highlight);
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
            c = c * look::kGridLine;
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
    lit.light = VecNormalize(cam.toEye * look::kKeyLight.toEye + cam.right * look::kKeyLight.right +
                             cam.up * look::kKeyLight.up);
    lit.fill = VecNormalize(cam.right * look::kFillLight.right + cam.up * look::kFillLight.up +
                            cam.toEye * look::kFillLight.toEye);
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

}  // namespace tumelin
