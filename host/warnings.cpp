#include "warnings.h"

#include <filesystem>
#include <fstream>

#include "ini_file.h"
#include "model_constants.h"
#include "profile_reader.h"
#include "scenario.h"
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
  const bool utf16 =
      bytes.size() >= 2 &&
      ((static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) ||
       (static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF));
  if (utf16) return -1;
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

std::vector<std::string> ModelWarnings(const TClothSetup& setup, const MeshReport& report, bool closed) {
  std::vector<std::string> warnings;
  const std::string damping = DampingWarning(setup);
  if (!damping.empty()) warnings.push_back(damping);
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

}  // namespace tumelin
