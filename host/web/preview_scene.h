// One membrane of the browser preview: the scene a tuner sets up (an INI
// file, a mesh, the membrane options and the [Setup] values typed over the
// file), built and run the way `tumelin-host run` builds and runs it, through
// the plug-in's own entries. Every verdict, warning and message is the
// command-line host's, from the same code.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "membrane.h"
#include "mesh_check.h"
#include "plugin_loader.h"
#include "render.h"
#include "scenario.h"
#include "setup_report.h"
#include "simulation.h"

namespace tumelin {

// a setting line of the report with whether the page typed its value
struct PreviewSetting {
  SettingLine line;
  bool given = false;
};

class PreviewScene {
 public:
  // the entries of the plug-in linked into this program
  explicit PreviewScene(const Plugin& plugin);
  ~PreviewScene();
  PreviewScene(const PreviewScene&) = delete;
  PreviewScene& operator=(const PreviewScene&) = delete;

  // a membrane option by its key in kMembraneOptions ("shape", "columns",
  // "pinPoints", ...), its text as the command line gives it; empty text
  // leaves it to the INI file. false for an unknown key
  bool Choose(const std::string& key, const std::string& text);
  // KEY=VALUE over section [Setup], as --set gives it; false with the
  // message --set would print after its own name
  bool Set(const std::string& assignment, std::string* error);
  // forgets every option and every value given
  void Clear();

  // the scene from the INI file at `iniPath` (empty: none) with the options
  // and values given: the membrane built, the settings loaded through
  // PluginExecZR71, the check and the warnings made. false with the
  // command-line host's one-line message; the scene before stays
  bool Build(const std::string& iniPath, std::string* error);

  // up to `count` steps through PluginExecZR72; stops after the step at
  // which the run diverged. Returns the steps done
  int64_t Step(int64_t count);
  int64_t Steps() const;
  // seconds spent inside the step entry, the checks and the drawing excluded
  double EntrySeconds() const;
  // "the run diverged at step N: ...", or empty
  const std::string& Diverged() const;

  StepFigures Figures() const;
  ShapeFigure Figure() const;
  uint64_t Hash() const;
  const Scenario& ScenarioState() const;
  const Membrane& MembraneState() const;
  // the ClothP the plug-in stored for this scene
  double Pressure() const;
  const MeshReport& Report() const;
  // what a run warns about before it starts, as `run` prints them
  const std::vector<std::string>& Warnings() const;
  // the report `check` prints
  std::string CheckText() const;
  // one line per key of section [Setup]
  std::vector<PreviewSetting> Settings() const;
  // the user's decimal separator as the plug-in reads it
  char16_t Separator() const;
  // the decimal separator the next Build reads the settings with, as a host
  // in a locale with that separator would ('.' or ','); the user's by default
  void SetSeparator(char16_t separator) { separator_ = separator; }
  // the surface at the step reached, the surface.obj tumelin-host run writes
  // after as many steps
  std::string SurfaceObj() const;
  // the figures of every step they were taken at, the columns of figures.csv
  std::string FiguresCsv() const;
  // section [Setup] with the values the plug-in stored and section
  // [Membrane]: an INI file that builds and runs this scene again
  std::string SceneIni() const;
  // the same with Steps= the step the run has reached (the scene's own at
  // step 0): a host run of it ends on the state shown
  std::string SceneIniAtStep() const;
  // the host's fixed framing of the start shape
  Framing StartFraming() const;
  // the triangles to draw the surface with, three corners each: with stride
  // 1 the faces; above, for a surface with too many triangles for the
  // screen, a grid shape's quads of stride x stride cells over the same
  // points, wound as its faces are (still the faces of a mesh or of a grid
  // built with a defect, whose fault a coarse grid would hide)
  std::vector<int32_t> DrawTriangles(int32_t stride) const;
  // the surface as single floats, for drawing: every point's position and
  // its normal (the sum of its faces' area vectors, as wound), written into
  // the buffers in place and returned by the views below
  void Surface(std::vector<float>* positions, std::vector<float>* normals) const;

 private:
  struct State;
  std::string SceneIniText(const Scenario& s) const;
  const Plugin& plugin_;
  char16_t separator_;
  ScenarioChoices choices_;
  std::vector<SetupText> given_;
  std::unique_ptr<State> state_;
};

}  // namespace tumelin
