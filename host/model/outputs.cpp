#include "outputs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include "bits.h"
#include "child_process.h"
#include "geometry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tumelin {

namespace fs = std::filesystem;

namespace {

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(fs::u8path(from).wstring().c_str(), fs::u8path(to).wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(fs::u8path(path), ignored);
}

// each entry with all it holds; how many went
int RemoveEntries(const std::vector<fs::path>& entries) {
  int removed = 0;
  for (const fs::path& entry : entries) {
    std::error_code removeError;
    fs::remove_all(entry, removeError);
    if (!removeError) ++removed;
  }
  return removed;
}

std::string Num(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", x);
  return buffer;
}

}  // namespace

std::string TemporaryPathBeside(const std::string& path) {
  static std::mt19937_64 rng(std::random_device{}());
  const fs::path target = fs::u8path(path);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%08llx", OwnProcessId(),
                static_cast<unsigned long long>(rng() & 0xFFFFFFFFull));
  return (target.parent_path() / fs::u8path("." + target.filename().u8string() + suffix)).u8string();
}

bool IsTemporaryName(const std::string& name, long* pid) {
  constexpr size_t kHexDigits = 8;
  const size_t marker = name.rfind(".tmp-");
  const size_t dash = name.rfind('-');
  if (name.empty() || name[0] != '.' || marker == std::string::npos || marker < 2 ||
      dash != name.size() - kHexDigits - 1 || dash <= marker + 5) {
    return false;
  }
  const std::string digits = name.substr(marker + 5, dash - marker - 5);
  const std::string hex = name.substr(dash + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9 ||
      hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  *pid = std::stol(digits);
  return true;
}

int RemoveAbandonedTemporaries(const std::string& folder, const std::string& of) {
  std::error_code ec;
  std::vector<fs::path> abandoned;
  for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().u8string();
    long pid = 0;
    if (!IsTemporaryName(name, &pid) || ProcessRunning(pid)) continue;
    if (!of.empty() && name.compare(0, of.size() + 6, "." + of + ".tmp-") != 0) continue;
    abandoned.push_back(it->path());
  }
  return RemoveEntries(abandoned);
}

OutputSet::~OutputSet() {
  for (const File& file : pending_) RemoveQuietly(file.temp);
}

bool OutputSet::Add(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temp = TemporaryPathBeside(path);
  std::ofstream out(fs::u8path(temp), std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  pending_.push_back({temp, path});
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) {
    *error = "cannot write " + path + " (disk full?)";
    return false;
  }
  return true;
}

bool OutputSet::Commit(std::string* error) {
  // a folder in a file's place would stop the renames halfway: refuse first
  std::error_code ec;
  for (const File& file : pending_) {
    if (fs::is_directory(fs::u8path(file.path), ec)) {
      *error = "cannot write " + file.path + ": a folder of that name is in the way";
      return false;
    }
  }
  // the previous files step aside, so that a failed rename can bring them back
  std::vector<std::pair<std::string, std::string>> saved;  // (path, its copy aside)
  size_t placed = 0;
  auto undo = [&]() {
    for (size_t i = 0; i < placed; ++i) RemoveQuietly(pending_[i].path);
    for (const auto& [path, aside] : saved) ReplaceFile(aside, path);
  };
  for (const File& file : pending_) {
    if (!fs::exists(fs::u8path(file.path), ec)) continue;
    const std::string aside = TemporaryPathBeside(file.path);
    if (!ReplaceFile(file.path, aside)) {
      *error = "cannot replace " + file.path;
      undo();
      return false;
    }
    saved.emplace_back(file.path, aside);
  }
  for (; placed < pending_.size(); ++placed) {
    if (!ReplaceFile(pending_[placed].temp, pending_[placed].path)) {
      *error = "cannot rename the finished file into " + pending_[placed].path;
      undo();
      return false;
    }
  }
  for (const auto& entry : saved) RemoveQuietly(entry.second);
  pending_.clear();
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error) {
  OutputSet set;
  return set.Add(path, bytes, error) && set.Commit(error);
}

std::vector<std::string> OutputSet::Paths() const {
  std::vector<std::string> paths;
  for (const File& file : pending_) paths.push_back(file.path);
  return paths;
}

int RemoveEarlierOutputs(const std::string& folder, bool (*earlier)(const std::string& name),
                         const std::vector<std::string>& written) {
  std::error_code ec;
  const fs::path dir = fs::u8path(folder);
  if (!fs::is_directory(dir, ec)) return 0;
  // by name alone: `earlier` accepts names that only this folder holds
  std::vector<std::string> kept;
  for (const std::string& path : written) kept.push_back(fs::u8path(path).filename().u8string());
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().u8string();
    if (earlier(name) && std::find(kept.begin(), kept.end(), name) == kept.end()) stale.push_back(it->path());
  }
  return RemoveEntries(stale);
}

NewFolders::~NewFolders() {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    std::error_code ignored;
    if (fs::is_empty(fs::u8path(*it), ignored)) fs::remove(fs::u8path(*it), ignored);
  }
}

bool NewFolders::Create(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::vector<fs::path> missing;
  for (fs::path dir = fs::u8path(folder); !dir.empty() && !fs::exists(dir, ec); dir = dir.parent_path()) {
    missing.push_back(dir);
    if (dir == dir.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && !fs::is_directory(*it)) {
      *error = "cannot create output folder " + it->u8string() + (ec ? ": " + ec.message() : "");
      return false;
    }
    created_.push_back(it->u8string());
  }
  return true;
}

bool PrepareOutputFolder(const std::string& folder, NewFolders* folders, std::string* error) {
  std::error_code ec;
  const fs::path dir = fs::u8path(folder);
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
    *error = "output folder " + folder + " exists and is not a folder";
    return false;
  }
  if (!folders->Create(folder, error)) return false;
  // a probe file proves the folder writable before any real output starts
  const std::string probe = (dir / ".tumelin-write-probe").u8string();
  {
    std::ofstream out(fs::u8path(probe), std::ios::binary);
    if (!out) {
      *error = "output folder " + folder + " is not writable";
      return false;
    }
  }
  fs::remove(fs::u8path(probe), ec);
  return true;
}

namespace {

// "v" lines, then "f" lines numbered from 1, after the header lines
std::string ObjLines(const std::string& header, const std::vector<TDbl3D>& vertices,
                     const std::vector<std::array<int32_t, 3>>& triangles) {
  std::string out = header + "o tumelin\n";
  out.reserve(out.size() + vertices.size() * 40 + triangles.size() * 24);
  for (const TDbl3D& p : vertices) out += "v " + Num(p.X) + " " + Num(p.Y) + " " + Num(p.Z) + "\n";
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

std::string ObjText(const Membrane& m, const std::string& comment) {
  std::vector<TDbl3D> vertices;
  for (int32_t i = 0; i < m.points.Count(); ++i) vertices.push_back(m.points[i].Pos);
  std::vector<std::array<int32_t, 3>> triangles;
  for (int32_t t = 0; t < m.faces.Count(); ++t)
    triangles.push_back({m.faces[t].P0, m.faces[t].P1, m.faces[t].P2});
  return ObjLines("# " + comment + "\n# free mesh: vertex i + 1 is point i, faces as the membrane has them\n",
                  vertices, triangles);
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
