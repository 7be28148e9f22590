// What a run warns about before it starts, and check reports alike: an INI
// file the plug-in cannot read as meant, keys that neither section knows,
// and settings with which the membrane cannot end well, judged from the
// model's own numbers. (Values the plug-in does not take are the settings
// report's: UntakenSettings in setup_report.h.)
#pragma once

#include <tumelin/tumelin.h>

#include <optional>
#include <string>
#include <vector>

#include "ini_file.h"
#include "mesh_check.h"
#include "scenario.h"

namespace tumelin {

// a file that is not text (so the plug-in finds no setting in it), a
// section [Setup] or [Membrane] written more than once (only the first
// counts), and every key of those sections that is not one of theirs, with
// the nearest known name
std::vector<std::string> IniFileWarnings(const IniFile& ini);

// damping multiplies every speed by 1 - ClothC * TimeStep per step (it uses
// the start-of-step velocity in every stage of every integrator), so a
// factor of magnitude 1 or more never lets the membrane settle and makes it
// diverge: empty, or the line that says so
std::string DampingWarning(const TClothSetup& setup);

// a pressure or a stiffness whose acceleration overflows when the
// acceleration limit squares it, which freezes the points it acts on: the
// pressure at any point with faces, a stiffness once a spring's stretch or
// compression reaches the longest rest length (`longestSpring`) or less
std::vector<std::string> OverflowWarnings(const TClothSetup& setup, double longestSpring);

// the warning that foretells a divergence, empty for none: an overflow to an
// infinite acceleration, which diverges at once, before damping that makes
// speeds grow
std::string DivergenceCause(const TClothSetup& setup, double longestSpring);

// DampingWarning, OverflowWarnings, and a pressure that draws a closed membrane in: a
// negative ClothP where a positive one inflates it, or the other way round
std::vector<std::string> ModelWarnings(const TClothSetup& setup, const MeshReport& report, bool closed);

// what a run is warned about, judged by the plug-in's rules without the
// plug-in: the scenario's INI file, the values of the settings file the
// plug-in reads, and the model's numbers on this membrane
struct Warnings {
  std::vector<std::string> lines;
  std::string cause;  // DivergenceCause: named should the run diverge
};
// false with a one-line message when a file cannot be opened; the settings
// read with the decimal separator given (the user's unless one is)
bool WarningsFor(const Scenario& s, const SetupFile& setup, const MeshReport& report, Warnings* out,
                 std::string* error, std::optional<char16_t> separator = std::nullopt);

}  // namespace tumelin
