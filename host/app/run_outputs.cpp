#include "run_outputs.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "formats.h"
#include "user_text.h"

namespace tumelin {

std::string SurfaceObj(Simulation* sim, const Scenario& s, const std::string& comment) {
  if (s.params.shape == Shape::kMesh) return ObjText(sim->MembraneState(), comment);
  sim->WriteGrid();
  return ObjText(sim->Grid(), s.params.shape, comment);
}

Image SurfacePicture(const Simulation& sim, const Scenario& s, const RunOutput& out) {
  if (s.params.shape != Shape::kMesh) {
    return RenderSurface(sim.Grid(), s.params.shape, out.imageWidth, out.imageHeight, out.render);
  }
  std::vector<std::array<bool, 3>> outline = s.mesh.outline;
  // --flip swapped corners 1 and 2 of every triangle, and so the edges opposite them
  if (s.params.flip) {
    for (auto& edges : outline) std::swap(edges[1], edges[2]);
  }
  return RenderMesh(MeshFromMembrane(sim.MembraneState(), outline), out.imageWidth, out.imageHeight,
                    out.render);
}

Image CurrentPicture(Simulation* sim, const Scenario& s, const RunOutput& out) {
  if (s.params.shape != Shape::kMesh) sim->WriteGrid();
  return SurfacePicture(*sim, s, out);
}

bool IsFrameName(const std::string& name) { return NumberedName(name, "step_", {".obj", ".png"}); }

void WriteFrame(Simulation* sim, const Scenario& s, const RunOutput& out, int64_t step, const Image& picture,
                OutputSet* files) {
  char name[40];
  std::snprintf(name, sizeof name, "step_%06lld", static_cast<long long>(step));
  const std::filesystem::path frames = std::filesystem::u8path(out.folder) / "frames";
  std::string error;
  if (!out.folders->Create(frames.u8string(), &error)) throw std::runtime_error(error);
  AddFileOrThrow(files, frames / (std::string(name) + ".obj"),
                 SurfaceObj(sim, s, s.name + " after step " + std::to_string(step)));
  AddFileOrThrow(files, frames / (std::string(name) + ".png"), PngOrThrow(picture));
}

void WriteOutputs(Simulation* sim, const Scenario& s, const TClothSetup& setup,
                  const std::vector<StepFigures>& figures, const RunOutput& out, OutputSet* files,
                  Animation* animation) {
  const std::filesystem::path folder = std::filesystem::u8path(out.folder);
  const std::string comment = "tumelin-host: " + s.name + " after " + Count(s.steps, "step", "steps");
  const std::string png = PngOrThrow(SurfacePicture(*sim, s, out));
  std::string gif, mp4, note, error;
  if (animation != nullptr && !animation->Finish(&gif, &mp4, &note, &error)) throw std::runtime_error(error);
  AddFileOrThrow(files, folder / "surface.obj", SurfaceObj(sim, s, comment));
  AddFileOrThrow(files, folder / "surface.png", png);
  AddFileOrThrow(files, folder / "figures.csv", CsvText(figures, s.params.shape));
  AddFileOrThrow(files, folder / "plot.svg", SvgPlot(figures, s.params.shape, s.name));
  AddFileOrThrow(files, folder / "scene.ini", SceneIniText(s, setup));
  if (!gif.empty()) AddFileOrThrow(files, folder / "animation.gif", gif);
  if (!mp4.empty()) AddFileOrThrow(files, folder / "animation.mp4", mp4);
  if (!note.empty()) std::cerr << "tumelin-host: note: " << note << std::endl;
}

std::string SummaryLine(const Scenario& s, int32_t points, const StepFigures& last, double seconds,
                        const RunOutput& out) {
  std::ostringstream line;
  line << s.name << ": ";
  if (s.params.shape == Shape::kMesh) {
    line << "mesh " << s.meshPath;
  } else {
    line << ShapeName(s.params.shape) << " " << s.params.columns << "x" << s.params.rows;
  }
  line << " (" << Count(points, "point", "points") << "), " << Count(s.steps, "step", "steps") << " in "
       << FormatDouble(std::round(seconds * 1000) / 1000) << " s";
  if (seconds > 0) line << " (" << static_cast<long long>(std::llround(s.steps / seconds)) << " steps/s)";
  auto rounded = [](double x) { return FormatDouble(std::round(x * 1e6) / 1e6); };
  const ShapeFigure figure = FigureOf(s.params.shape);
  line << (figure == ShapeFigure::kVolume ? "," : ", area " + rounded(last.area) + ", mean");
  line << " " << FigureWord(figure) << " " << rounded(FigureValue(last, figure));
  line << ", max speed " << rounded(last.maxSpeed);
  line << (out.folder.empty() ? std::string("; no files written (no --out)") : "; files in " + out.folder);
  return line.str();
}

bool IsAnimationName(const std::string& name) { return name == "animation.gif" || name == "animation.mp4"; }

}  // namespace tumelin
