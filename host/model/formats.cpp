#include "formats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "bits.h"
#include "geometry.h"
#include "grid_mesh.h"

namespace tumelin {

namespace {

// nine significant digits for pictures and files a person reads; seventeen
// read back as the same double
std::string Num(double x, ObjDigits digits = ObjDigits::kShort) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, digits == ObjDigits::kExact ? "%.17g" : "%.9g", x);
  return buffer;
}

}  // namespace

namespace {

// "v" lines, then "f" lines numbered from 1, after the header lines
std::string ObjLines(const std::string& header, const std::vector<TDbl3D>& vertices,
                     const std::vector<std::array<int32_t, 3>>& triangles,
                     ObjDigits digits = ObjDigits::kShort) {
  std::string out = header + "o tumelin\n";
  out.reserve(out.size() + vertices.size() * 40 + triangles.size() * 24);
  for (const TDbl3D& p : vertices)
    out += "v " + Num(p.X, digits) + " " + Num(p.Y, digits) + " " + Num(p.Z, digits) + "\n";
  for (const auto& t : triangles) {
    out += "f " + std::to_string(t[0] + 1) + " " + std::to_string(t[1] + 1) + " " + std::to_string(t[2] + 1) +
           "\n";
  }
  return out;
}

}  // namespace

std::string ObjText(const TSurfaceGrid* grid, Shape shape, const std::string& comment) {
  const GridMesh mesh = MeshFromGrid(grid, shape);
  return ObjLines("# " + comment + "\n# surface grid " + std::to_string(grid->CountU) + " x " +
                      std::to_string(grid->CountV) + ", mode " + std::to_string(int(grid->Mode)) + " (" +
                      ShapeName(shape) + "); vertex u * rows + v + 1 is cell (u, v)\n",
                  mesh.vertices, mesh.triangles);
}

std::string ObjText(const Membrane& m, const std::string& comment, ObjDigits digits) {
  std::vector<TDbl3D> vertices;
  for (int32_t i = 0; i < m.points.Count(); ++i) vertices.push_back(m.points[i].Pos);
  std::vector<std::array<int32_t, 3>> triangles;
  for (int32_t t = 0; t < m.faces.Count(); ++t)
    triangles.push_back({m.faces[t].P0, m.faces[t].P1, m.faces[t].P2});
  return ObjLines("# " + comment + "\n# free mesh: vertex i + 1 is point i, faces as the membrane has them\n",
                  vertices, triangles, digits);
}

std::string CsvText(const std::vector<StepFigures>& figures, Shape shape) {
  std::string out =
      "step,time,volume,area,mean_radius,mean_height,max_speed,kinetic_energy,max_stretch_ratio,max_"
      "compression_"
      "ratio\n";
  const bool closed = IsClosed(shape);
  char line[320];
  for (const StepFigures& f : figures) {
    const std::string volume = closed ? Num(f.volume) : std::string();
    std::snprintf(line, sizeof line, "%lld,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", static_cast<long long>(f.step),
                  Num(static_cast<double>(f.step) * 0.005).c_str(), volume.c_str(), Num(f.area).c_str(),
                  Num(f.meanRadius).c_str(), Num(f.meanHeight).c_str(), Num(f.maxSpeed).c_str(),
                  Num(f.kineticEnergy).c_str(), Num(f.maxStretch).c_str(), Num(f.maxCompression).c_str());
    out += line;
  }
  return out;
}

namespace {

// round step for about five axis ticks
double NiceStep(double range) {
  if (!(range > 0.0)) return 1.0;
  const double raw = range / 5.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double r = raw / magnitude;
  return (r < 1.5 ? 1.0 : r < 3.5 ? 2.0 : r < 7.5 ? 5.0 : 10.0) * magnitude;
}

std::string Tick(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4g", std::fabs(x) < 1e-12 ? 0.0 : x);
  return buffer;
}

}  // namespace

std::string SvgPlot(const std::vector<StepFigures>& figures, Shape shape, const std::string& title) {
  const ShapeFigure figure = FigureOf(shape);
  const char* label = figure == ShapeFigure::kVolume       ? "enclosed volume"
                      : figure == ShapeFigure::kMeanHeight ? "mean height (z)"
                                                           : "mean radius";
  auto value = [figure](const StepFigures& f) { return FigureValue(f, figure); };
  const double w = 720, h = 400, left = 80, right = 20, top = 40, bottom = 50;
  double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
  if (!figures.empty()) {
    x0 = static_cast<double>(figures.front().step);
    x1 = static_cast<double>(figures.back().step);
    y0 = y1 = value(figures.front());
    for (const StepFigures& f : figures) y0 = std::min(y0, value(f)), y1 = std::max(y1, value(f));
  }
  if (!(x1 > x0)) x1 = x0 + 1;
  if (!(y1 > y0)) {
    const double pad = std::fabs(y0) > 0 ? std::fabs(y0) * 0.05 : 1.0;
    y0 -= pad, y1 += pad;
  }
  const double yStep = NiceStep(y1 - y0), xStep = NiceStep(x1 - x0);
  y0 = std::floor(y0 / yStep) * yStep;
  y1 = std::ceil(y1 / yStep) * yStep;
  auto sx = [&](double x) { return left + (x - x0) / (x1 - x0) * (w - left - right); };
  auto sy = [&](double y) { return h - bottom - (y - y0) / (y1 - y0) * (h - top - bottom); };

  std::ostringstream out;
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h
      << "\" viewBox=\"0 0 " << w << " " << h << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  out << "<text x=\"" << w / 2 << "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">" << title << ": "
      << label << " over steps</text>\n";
  for (double y = y0; y <= y1 + yStep * 0.5; y += yStep) {
    out << "<line x1=\"" << left << "\" x2=\"" << w - right << "\" y1=\"" << sy(y) << "\" y2=\"" << sy(y)
        << "\" stroke=\"#ddd\"/>\n<text x=\"" << left - 6 << "\" y=\"" << sy(y) + 4
        << "\" text-anchor=\"end\">" << Tick(y) << "</text>\n";
  }
  for (double x = std::ceil(x0 / xStep) * xStep; x <= x1 + xStep * 0.01; x += xStep) {
    out << "<line x1=\"" << sx(x) << "\" x2=\"" << sx(x) << "\" y1=\"" << top << "\" y2=\"" << h - bottom
        << "\" stroke=\"#eee\"/>\n<text x=\"" << sx(x) << "\" y=\"" << h - bottom + 18
        << "\" text-anchor=\"middle\">" << Tick(x) << "</text>\n";
  }
  out << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << w - left - right << "\" height=\""
      << h - top - bottom << "\" fill=\"none\" stroke=\"#333\"/>\n";
  out << "<text x=\"" << (left + w - right) / 2 << "\" y=\"" << h - 12
      << "\" text-anchor=\"middle\">step</text>\n";
  out << "<text transform=\"translate(18 " << (top + h - bottom) / 2
      << ") rotate(-90)\" text-anchor=\"middle\">" << label << "</text>\n";
  out << "<polyline fill=\"none\" stroke=\"#c0392b\" stroke-width=\"2\" points=\"";
  // at most about two thousand vertices in the line
  const size_t stride = figures.size() > 2000 ? figures.size() / 2000 : 1;
  for (size_t i = 0; i < figures.size(); i += stride) {
    out << Tick(sx(static_cast<double>(figures[i].step))) << "," << Tick(sy(value(figures[i]))) << " ";
  }
  if (!figures.empty()) {
    out << Tick(sx(static_cast<double>(figures.back().step))) << "," << Tick(sy(value(figures.back())));
  }
  out << "\"/>\n</svg>\n";
  return out.str();
}

}  // namespace tumelin
