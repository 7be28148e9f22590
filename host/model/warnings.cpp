#include "warnings.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <utility>

#include "ini_file.h"
#include "model_constants.h"
#include "profile_reader.h"
#include "scenario.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "user_text.h"

namespace tumelin {

namespace {

// how much of a file tells whether it is text
constexpr std::size_t kSniffBytes = 65536;

// the offset of the first byte that no text file holds, or -1: a NUL
// outside UTF-16 (which a byte-order mark announces)
long long FirstBinaryByte(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::string bytes(kSniffBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  const ByteOrderMark mark = FindByteOrderMark(bytes);
  if (mark == ByteOrderMark::kUtf16Le || mark == ByteOrderMark::kUtf16Be) return -1;
  const std::size_t nul = bytes.find('\0');
  return nul == std::string::npos ? -1 : static_cast<long long>(nul);
}

// keys of `section` that are not among `known`, with the nearest known name
void UnknownKeys(const IniFile& ini, const char16_t* section, const Names& known, const std::string& reader,
                 std::vector<std::string>* warnings) {
  const std::string name = Utf16ToUtf8(std::u16string_view(section));
  for (const std::string& key : ini.KeyNames(section)) {
    if (FindName(known, key) >= 0) continue;
    std::string line =
        ini.Path() + ": [" + name + "] unknown key \"" + key + "\", which " + reader + " ignores";
    const int nearest = NearestName(known, key);
    if (nearest >= 0)
      line += " (did you mean " + std::string(known[static_cast<std::size_t>(nearest)]) + "?)";
    warnings->push_back(line);
  }
}

// `x` to three significant digits, for a message that says "about"
std::string About(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", x);
  return buffer;
}

// The acceleration limit takes the length of the acceleration, the square
// root of the sum of its components' squares. An acceleration above the
// square root of the largest double squares to infinity: the length is
// then infinite, VecNormalize makes the zero vector of the acceleration,
// and the limit sets it to zero, so that springs, pressure and gravity stop
// moving the point. An acceleration above the largest double is itself
// infinite, and infinity over infinity is not a number.
const double kLargest = std::numeric_limits<double>::max();
const double kLargestSquarable = std::sqrt(kLargest);

std::string Freezes() {
  return " above about " + About(kLargestSquarable) +
         ", whose square overflows a double: the acceleration limit then finds an infinite "
         "length and sets the acceleration to zero, and the point freezes, moved by no force "
         "any more (only damping slows it)";
}

constexpr char kDiverges[] = "the acceleration is infinite, its direction not a number, and the run diverges";

// a stiffness whose spring force, at a deformation as large as `longest`
// (the longest rest length), overflows; `deformed` is "stretched" or
// "compressed", `deformation` "stretch" or "compression"
std::string StiffnessWarning(const char* key, double stiffness, double longest, const char* deformed,
                             const char* deformation, const char* limit) {
  // the spring's acceleration is deformation x stiffness / mass: the
  // deformations at which it squares beyond a double, and is infinite
  const double squares = kLargestSquarable * kPointMass / std::fabs(stiffness);
  const double infinite = kLargest * kPointMass / std::fabs(stiffness);
  if (!(squares < longest)) return std::string();
  std::string line = std::string(key) + " " + FormatDouble(stiffness) + ": a spring " + deformed +
                     " by more than about " + About(squares) + " gives its point an acceleration |" + key +
                     "| x " + deformation + " / " + FormatDouble(kPointMass) + Freezes();
  if (infinite < longest)
    line += "; " + std::string(deformed) + " by more than about " + About(infinite) + ", " + kDiverges;
  return line + "; with |" + key + "| below about " + About(kLargestSquarable * kPointMass / longest) +
         " no spring of this membrane gets there before it is " + limit;
}

}  // namespace

std::vector<std::string> IniFileWarnings(const IniFile& ini) {
  std::vector<std::string> warnings;
  const long long binary = FirstBinaryByte(ini.Path());
  if (binary >= 0) {
    warnings.push_back(ini.Path() + ": not a text file (a NUL byte at offset " + std::to_string(binary) +
                       "): the plug-in finds no setting in it and keeps every default");
    return warnings;
  }
  int setup = 0, membrane = 0;
  for (const std::string& section : ini.SectionNames()) {
    const int which = FindName({"Setup", "Membrane"}, section);
    setup += which == 0 ? 1 : 0;
    membrane += which == 1 ? 1 : 0;
  }
  if (setup > 1) {
    warnings.push_back(ini.Path() + ": section [Setup] is written " + std::to_string(setup) +
                       " times; the plug-in reads only the first");
  }
  if (membrane > 1) {
    warnings.push_back(ini.Path() + ": section [Membrane] is written " + std::to_string(membrane) +
                       " times; the host reads only the first");
  }
  const std::vector<std::string> setupNames = SetupKeyNames();
  UnknownKeys(ini, u"Setup", Names(setupNames.begin(), setupNames.end()), "the plug-in", &warnings);
  const std::vector<std::string> membraneNames = MembraneKeys();
  UnknownKeys(ini, u"Membrane", Names(membraneNames.begin(), membraneNames.end()), "the host", &warnings);
  return warnings;
}

std::string DampingWarning(const TClothSetup& setup) {
  // v' = v + TimeStep * (a - ClothC * v) = (1 - ClothC * TimeStep) * v + ...
  const double factor = 1.0 - setup.ClothC * TimeStep;
  if (!(factor <= -1.0 || factor > 1.0)) return std::string();
  return "ClothC " + FormatDouble(setup.ClothC) + ": damping multiplies every speed by 1 - ClothC x " +
         FormatDouble(TimeStep) + " = " + FormatDouble(factor) + " per step, and at magnitude " +
         (factor > 1.0 ? "above 1" : "1 or more") + " the membrane diverges (keep ClothC between 0 and " +
         FormatDouble(2.0 / TimeStep) + ")";
}

std::vector<std::string> OverflowWarnings(const TClothSetup& setup, double longestSpring) {
  std::vector<std::string> warnings;
  // the pressure force -0.008 x ClothP along a unit normal, divided by the mass
  const double perPressure = -kPressureScale / kPointMass;
  const double pressure = std::fabs(setup.ClothP) * perPressure;
  if (!std::isfinite(pressure * pressure)) {
    warnings.push_back("ClothP " + FormatDouble(setup.ClothP) +
                       ": the pressure gives every point with faces the acceleration |ClothP| x " +
                       FormatDouble(-kPressureScale) + " / " + FormatDouble(kPointMass) + " = " +
                       About(pressure) +
                       (std::isfinite(pressure) ? "," + Freezes() : ": " + std::string(kDiverges)) +
                       "; |ClothP| below about " + About(kLargestSquarable / perPressure) + " avoids it");
  }
  // no spring is compressed by more than its rest length; stretched by as
  // much, it is twice as long
  for (const std::string& line : {StiffnessWarning("ClothK0", setup.ClothK0, longestSpring, "stretched",
                                                   "stretch", "twice its rest length"),
                                  StiffnessWarning("ClothK1", setup.ClothK1, longestSpring, "compressed",
                                                   "compression", "compressed to nothing")}) {
    if (!line.empty()) warnings.push_back(line);
  }
  return warnings;
}

std::string DivergenceCause(const TClothSetup& setup, double longestSpring) {
  // an infinite acceleration is not a number in the very step it arises,
  // while damping needs steps to grow a speed: the overflow comes first
  for (const std::string& line : OverflowWarnings(setup, longestSpring)) {
    if (line.find(kDiverges) != std::string::npos) return line;
  }
  return DampingWarning(setup);
}

std::vector<std::string> ModelWarnings(const TClothSetup& setup, const MeshReport& report, bool closed) {
  std::vector<std::string> warnings;
  const std::string damping = DampingWarning(setup);
  if (!damping.empty()) warnings.push_back(damping);
  for (const std::string& line : OverflowWarnings(setup, report.longestSpring)) warnings.push_back(line);
  if (closed && setup.ClothP < 0.0 && report.effect == PressureEffect::kInflates) {
    warnings.push_back("ClothP " + FormatDouble(setup.ClothP) +
                       " is negative: on this membrane, wound clockwise seen from outside, it draws the "
                       "membrane in (deflates it)");
  }
  if (closed && setup.ClothP > 0.0 && report.effect == PressureEffect::kDeflates) {
    warnings.push_back("ClothP " + FormatDouble(setup.ClothP) +
                       " deflates this membrane: its triangles run counter-clockwise seen from outside");
  }
  return warnings;
}

bool WarningsFor(const Scenario& s, const SetupFile& setup, const MeshReport& report, Warnings* out,
                 std::string* error, std::optional<char16_t> separatorGiven) {
  Warnings w;
  if (!s.iniPath.empty()) {
    IniFile ini;
    if (!ini.Open(s.iniPath, error)) return false;
    w.lines = IniFileWarnings(ini);
  }
  TClothSetup values{};
  SetupDefaults(&values);
  if (!setup.Path().empty()) {
    IniFile ini;
    if (!ini.Open(setup.Path(), error)) return false;
    const char16_t separator = separatorGiven.value_or(ReadUserDecimalSeparator());
    for (const std::string& line : UntakenSettings(ExplainSetup(ini, separator))) w.lines.push_back(line);
    values = SetupByRules(ini, separator);
  }
  for (const std::string& line : ModelWarnings(values, report, IsClosed(s.params.shape) && !report.leaks)) {
    w.lines.push_back(line);
  }
  w.cause = DivergenceCause(values, report.longestSpring);
  *out = std::move(w);
  return true;
}

}  // namespace tumelin
