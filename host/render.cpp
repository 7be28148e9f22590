#include "render.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "geometry.h"
#include "outputs.h"

namespace tumelin {

namespace {

constexpr int kSuper = 2;  // supersampling per axis
constexpr double kPi = 3.14159265358979323846;

}  // namespace

Image RenderSurface(const TSurfaceGrid* grid, Shape shape, int width, int height) {
  return RenderMesh(MeshFromGrid(grid, shape), width, height);
}

Image RenderMesh(const GridMesh& mesh, int width, int height) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  const int W = width * kSuper, H = height * kSuper;
  std::vector<float> color(static_cast<size_t>(W) * H * 3);
  std::vector<double> depth(static_cast<size_t>(W) * H, -std::numeric_limits<double>::infinity());
  // background: a soft vertical gradient
  for (int y = 0; y < H; ++y) {
    const float t = static_cast<float>(y) / static_cast<float>(H - 1);
    for (int x = 0; x < W; ++x) {
      float* c = &color[(static_cast<size_t>(y) * W + x) * 3];
      c[0] = 0.93f - 0.16f * t, c[1] = 0.95f - 0.14f * t, c[2] = 0.98f - 0.10f * t;
    }
  }

  bool finite = !mesh.triangles.empty();
  for (const TDbl3D& p : mesh.vertices)
    finite = finite && std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z);

  if (finite) {
    // camera: a three-quarter view from above, orthographic, framing the shape
    const double azimuth = -55.0 * kPi / 180.0, elevation = 28.0 * kPi / 180.0;
    const TDbl3D toEye = {std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth),
                          std::sin(elevation)};
    const TDbl3D right = VecNormalize(Cross(toEye * -1.0, TDbl3D{0, 0, 1}));
    const TDbl3D up = Cross(right, toEye * -1.0);
    const TDbl3D light = VecNormalize(toEye + right * -0.6 + up * 0.9);
    const TDbl3D fill = VecNormalize(right * 0.8 + up * -0.2 + toEye * 0.5);

    // smooth normals: area-weighted, shared by cells at the same position
    std::map<std::array<uint64_t, 3>, size_t> slot;
    std::vector<size_t> slotOf(mesh.vertices.size());
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      std::array<uint64_t, 3> key;
      std::memcpy(key.data(), &mesh.vertices[i], sizeof(TDbl3D));
      slotOf[i] = slot.emplace(key, slot.size()).first->second;
    }
    std::vector<TDbl3D> normals(slot.size(), ZeroVector);
    for (const auto& t : mesh.triangles) {
      const TDbl3D a = mesh.vertices[size_t(t[0])];
      const TDbl3D n = Cross(mesh.vertices[size_t(t[1])] - a, mesh.vertices[size_t(t[2])] - a);
      for (int32_t k : t) normals[slotOf[size_t(k)]] = normals[slotOf[size_t(k)]] + n;
    }
    for (TDbl3D& n : normals) n = VecNormalize(n);

    double xMin = 1e300, xMax = -1e300, yMin = 1e300, yMax = -1e300;
    std::vector<TDbl3D> screen(mesh.vertices.size());
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      const TDbl3D p = mesh.vertices[i];
      screen[i] = {Dot(p, right), Dot(p, up), Dot(p, toEye)};
      xMin = std::min(xMin, screen[i].X), xMax = std::max(xMax, screen[i].X);
      yMin = std::min(yMin, screen[i].Y), yMax = std::max(yMax, screen[i].Y);
    }
    const double span = std::max({xMax - xMin, (yMax - yMin) * W / H, 1e-9});
    const double scale = 0.86 * W / span;
    const double cx = 0.5 * (xMin + xMax), cy = 0.5 * (yMin + yMax);
    for (TDbl3D& s : screen) s = {W * 0.5 + (s.X - cx) * scale, H * 0.5 - (s.Y - cy) * scale, s.Z};

    // grid lines only when a cell spans several pixels
    const double cellPixels =
        std::sqrt(static_cast<double>(W) * H / std::max<size_t>(mesh.triangles.size(), 1));
    const bool drawLines = cellPixels > 10.0 * kSuper;

    for (size_t ti = 0; ti < mesh.triangles.size(); ++ti) {
      const auto& t = mesh.triangles[ti];
      const TDbl3D s0 = screen[size_t(t[0])], s1 = screen[size_t(t[1])], s2 = screen[size_t(t[2])];
      const double area = (s1.X - s0.X) * (s2.Y - s0.Y) - (s1.Y - s0.Y) * (s2.X - s0.X);
      if (std::fabs(area) < 1e-12) continue;
      // screen y points down, so a counter-clockwise outside face has area < 0
      const bool front = area < 0;
      const double edgeLen[3] = {std::hypot(s2.X - s1.X, s2.Y - s1.Y), std::hypot(s0.X - s2.X, s0.Y - s2.Y),
                                 std::hypot(s1.X - s0.X, s1.Y - s0.Y)};
      const int x0 = std::max(0, static_cast<int>(std::floor(std::min({s0.X, s1.X, s2.X}))));
      const int x1 = std::min(W - 1, static_cast<int>(std::ceil(std::max({s0.X, s1.X, s2.X}))));
      const int y0 = std::max(0, static_cast<int>(std::floor(std::min({s0.Y, s1.Y, s2.Y}))));
      const int y1 = std::min(H - 1, static_cast<int>(std::ceil(std::max({s0.Y, s1.Y, s2.Y}))));
      const TDbl3D n0 = normals[slotOf[size_t(t[0])]], n1 = normals[slotOf[size_t(t[1])]],
                   n2 = normals[slotOf[size_t(t[2])]];
      for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
          const double px = x + 0.5, py = y + 0.5;
          const double w0 = ((s1.X - px) * (s2.Y - py) - (s1.Y - py) * (s2.X - px)) / area;
          const double w1 = ((s2.X - px) * (s0.Y - py) - (s2.Y - py) * (s0.X - px)) / area;
          const double w2 = 1.0 - w0 - w1;
          if (w0 < -1e-9 || w1 < -1e-9 || w2 < -1e-9) continue;
          const double z = w0 * s0.Z + w1 * s1.Z + w2 * s2.Z;
          const size_t pixel = static_cast<size_t>(y) * W + x;
          if (z <= depth[pixel]) continue;
          depth[pixel] = z;
          TDbl3D n = VecNormalize(n0 * w0 + n1 * w1 + n2 * w2);
          if (!front) n = n * -1.0;
          if (Dot(n, toEye) < 0) n = n * -1.0;
          const double diffuse = std::max(0.0, Dot(n, light));
          const double fillLight = std::max(0.0, Dot(n, fill));
          const double params = std::pow(std::max(0.0, Dot(n, VecNormalize(light + toEye))), 48.0);
          const TDbl3D base = front ? TDbl3D{0.86, 0.42, 0.26} : TDbl3D{0.30, 0.52, 0.78};
          TDbl3D c = base * (0.22 + 0.68 * diffuse + 0.18 * fillLight) + TDbl3D{1, 1, 1} * (0.30 * params);
          if (drawLines) {
            const double ws[3] = {w0, w1, w2};
            for (int k = 0; k < 3; ++k) {
              // distance to the edge opposite corner k, in pixels
              if (mesh.gridEdge[ti][size_t(k)] && ws[k] * std::fabs(area) / edgeLen[k] < 0.9 * kSuper)
                c = c * 0.72;
            }
          }
          float* out = &color[pixel * 3];
          out[0] = static_cast<float>(std::min(1.0, c.X));
          out[1] = static_cast<float>(std::min(1.0, c.Y));
          out[2] = static_cast<float>(std::min(1.0, c.Z));
        }
      }
    }
  }

  // box filter down to the output size
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int ch = 0; ch < 3; ++ch) {
        float sum = 0;
        for (int sy = 0; sy < kSuper; ++sy) {
          for (int sx = 0; sx < kSuper; ++sx) {
            sum += color[((static_cast<size_t>(y) * kSuper + sy) * W + x * kSuper + sx) * 3 + ch];
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

}  // namespace tumelin
