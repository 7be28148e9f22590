// The membrane options, one row each: the preview's key, the key of section
// [Membrane], the tumelin-host flag, its help, type, range, default and the
// shapes it applies to, and how its text is read into a scenario and written
// back. The command line, the INI reader and writer and the preview's fields
// are all made from kMembraneOptions; adding an option is one row there and
// its reader and writer.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shapes.h"

namespace tumelin {

struct Scenario;

// the membrane options as given, unparsed, by option key; unset or empty
// counts as not given, as a missing or empty key does in the file
using ScenarioChoices = std::map<std::string, std::string>;

enum class OptionType { kInt, kReal, kChoice, kText };
// what an option decides: the shape itself, its pinning, its size, the run
enum class OptionRole { kShape, kPin, kSize, kRun };

struct MembraneOption {
  const char* key;     // the preview's name for it, and its address's: "pinPoints"
  const char* ini;     // in section [Membrane]: "PinPoints"
  const char* flag;    // tumelin-host's option without the dashes: "pin-points"
  const char* letter;  // its one-letter form ("u"), or ""
  const char* name;    // how messages name it: "pin points"
  std::string help;    // one line for --help and the page
  // how --help shows the value ("INT", "FILE"); null: a switch, which the
  // option alone sets to its first choice
  const char* valueName;
  OptionType type;
  // a whole number's bounds, both included (none: those of its field); a
  // real's lower bound excluded, which ValidateParams enforces
  std::optional<double> min, max;
  const char* def;                             // the default as the file writes it; "" for none
  std::vector<std::string_view> (*choices)();  // a choice's names; null for other types
  ShapeSet shapes;                             // the shapes it means something for
  OptionRole role;
  // reads one text into the scenario; false with a message that names the
  // option as `name` does
  bool (*read)(const MembraneOption& option, const std::string& text, Scenario* s, std::string* error);
  // the text that reads back as the resolved scenario has it; empty: left out
  std::string (*write)(const Scenario& s);
};

// in the order both sources are read: the first bad value is the one reported
extern const std::vector<MembraneOption> kMembraneOptions;

// the row of `key`, or null
const MembraneOption* FindMembraneOption(std::string_view key);
// whether `option` applies to `shape`
bool OptionApplies(const MembraneOption& option, Shape shape);
// the help line, with a number's default: "sphere or tube radius (1)"
std::string OptionHelp(const MembraneOption& option);
// the text of a switch given alone (--flip: "yes")
std::string SwitchText(const MembraneOption& option);

}  // namespace tumelin
