// A scenario: the membrane to build, how many steps to run it and how often
// to keep a frame. Its settings come from the host's defaults, then section
// [Membrane] of the INI file, then the command line, each over the one
// before. The file and the command line give text that is read by the same
// rules (user_text.h), so a bad value gets the same message from either,
// after a prefix that says where it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini_file.h"
#include "membrane.h"
#include "membrane_options.h"
#include "obj_mesh.h"

namespace tumelin {

inline constexpr int64_t kDefaultSteps = 1000;
inline constexpr int64_t kMaxSteps = 100000000;

struct Scenario {
  MembraneParams params;
  int64_t steps = kDefaultSteps;
  int64_t every = 0;     // steps between frames; 0 writes none
  std::string iniPath;   // empty: no file, the plug-in's defaults
  std::string name;      // the INI file's stem, else the mesh file's, else the shape's name
  std::string meshPath;  // an OBJ file: shape kMesh, built from `mesh`
  ObjMesh mesh;
  // where settings of the grid shapes were given ("--radius", "FILE:
  // [Membrane] Radius"): with a mesh, any of them is a mistake
  std::vector<std::string> gridSettings;
};

// section [Membrane] over `scenario`; keys absent from the file or empty
// leave the fields as they are; false with a one-line message that starts
// "FILE: [Membrane] KEY: "
bool ReadMembraneSection(const IniFile& ini, Scenario* scenario, std::string* error);

// defaults, then section [Membrane] of the file at `iniPath` (none when it is
// empty), then `given`, whose messages start "--OPTION: "; a mesh file is
// read (its messages start "FILE:LINE: "), its named group resolved to
// points. The result has passed ValidateParams. false with a one-line
// message
bool ResolveScenario(const std::string& iniPath, const ScenarioChoices& given, Scenario* scenario,
                     std::string* error);

// the command-line words that give `given` again ("--shape", "torus", ...),
// for a run started as a child process
std::vector<std::string> ScenarioArguments(const ScenarioChoices& given);
// the membrane of a resolved scenario: its grid shape or its mesh
Membrane BuildScenarioMembrane(const Scenario& scenario);

// the keys section [Membrane] knows, as the file spells them
std::vector<std::string> MembraneKeys();
// section [Membrane] that resolves to `scenario` again: every key that
// applies to its shape, numbers without a decimal separator, the
// mesh by its absolute path
std::vector<SetupText> MembraneTexts(const Scenario& scenario);
// an INI file that runs `scenario` again: section [Setup] with the values
// the plug-in stored (`stored`), each reading back to the same bits, and
// section [Membrane] by MembraneTexts
std::string SceneIniText(const Scenario& scenario, const TClothSetup& stored);

}  // namespace tumelin
