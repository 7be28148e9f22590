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
#include <vector>

#include "ini_file.h"
#include "membrane.h"

namespace tumelin {

inline constexpr int64_t kDefaultSteps = 1000;
inline constexpr int64_t kMaxSteps = 100000000;

struct Scenario {
  MembraneParams params;
  int64_t steps = kDefaultSteps;
  int64_t every = 0;    // steps between frames; 0 writes none
  std::string iniPath;  // empty: no file, the plug-in's defaults
  std::string name;     // the INI file's stem, else the shape's name
};

// the settings as the command line gave them, unparsed; unset or empty
// counts as not given, as a missing or empty key does in the file
struct ScenarioChoices {
  std::optional<std::string> shape, pin, winding, defect, pinPoints;
  std::optional<std::string> columns, rows, pinRing, steps, every;
  std::optional<std::string> radius, flatten, majorRadius, minorRadius, width, depth, length;
};

// section [Membrane] over `scenario`; keys absent from the file or empty
// leave the fields as they are; false with a one-line message that starts
// "FILE: [Membrane] KEY: "
bool ReadMembraneSection(const IniFile& ini, Scenario* scenario, std::string* error);

// defaults, then section [Membrane] of the file at `iniPath` (none when it is
// empty), then `given`, whose messages start "--OPTION: "; the result has
// passed ValidateParams. false with a one-line message
bool ResolveScenario(const std::string& iniPath, const ScenarioChoices& given, Scenario* scenario,
                     std::string* error);

// the command-line words that give `given` again ("--shape", "torus", ...),
// for a run started as a child process
std::vector<std::string> ScenarioArguments(const ScenarioChoices& given);

}  // namespace tumelin
