#include "plugin_file.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "text.h"

namespace tumelin {

namespace {

// the library formats and processors a host of either build knows
enum class Format { kElf, kPe };

struct Platform {
  Format format;
  uint32_t machine;  // ELF e_machine or PE Machine
  const char* name;
};

constexpr Platform kLinuxX86_64{Format::kElf, 62, "Linux x86-64 (ELF)"};
constexpr Platform kLinuxX86{Format::kElf, 3, "Linux x86 (32-bit ELF)"};
constexpr Platform kWindowsX86{Format::kPe, 0x14C, "Windows x86 (32-bit PE)"};
constexpr Platform kWindowsX64{Format::kPe, 0x8664, "Windows x64 (PE32+)"};
constexpr Platform kKnown[] = {kLinuxX86_64, kLinuxX86, kWindowsX86, kWindowsX64};

#if defined(_WIN32) && defined(_WIN64)
constexpr Platform kThisPlatform = kWindowsX64;
#elif defined(_WIN32)
constexpr Platform kThisPlatform = kWindowsX86;
#elif defined(__x86_64__)
constexpr Platform kThisPlatform = kLinuxX86_64;
#else
constexpr Platform kThisPlatform = kLinuxX86;
#endif

// little-endian fields at an offset already known to lie inside the bytes
uint64_t Field(const std::string& bytes, uint64_t at, int size) {
  uint64_t value = 0;
  for (int k = size - 1; k >= 0; --k) value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
  return value;
}

// whether [offset, offset + count * size) lies inside the file, without
// overflow for any field values
bool Inside(uint64_t fileSize, uint64_t offset, uint64_t count, uint64_t size) {
  if (offset > fileSize) return false;
  return size == 0 || count <= (fileSize - offset) / size;
}

// what is past the end, or empty
std::string ElfProblem(const std::string& b) {
  const uint64_t n = b.size();
  const bool wide = b[4] == 2;  // ELFCLASS64
  if (b[5] != 1) return "not a little-endian ELF file";
  const uint64_t header = wide ? 64 : 52;
  if (n < header) return "the ELF header is cut off";
  const uint64_t phoff = Field(b, wide ? 32 : 28, wide ? 8 : 4);
  const uint64_t shoff = Field(b, wide ? 40 : 32, wide ? 8 : 4);
  const uint64_t phentsize = Field(b, wide ? 54 : 42, 2), phnum = Field(b, wide ? 56 : 44, 2);
  const uint64_t shentsize = Field(b, wide ? 58 : 46, 2), shnum = Field(b, wide ? 60 : 48, 2);
  if (!Inside(n, phoff, phnum, phentsize)) return "its program headers lie past the end";
  for (uint64_t i = 0; i < phnum; ++i) {
    const uint64_t at = phoff + i * phentsize;
    if (phentsize < (wide ? 56u : 32u)) return "its program headers are too short";
    const uint64_t offset = Field(b, at + (wide ? 8 : 4), wide ? 8 : 4);
    const uint64_t fileSize = Field(b, at + (wide ? 32 : 16), wide ? 8 : 4);
    if (!Inside(n, offset, 1, fileSize)) return "a segment to be mapped lies past the end";
  }
  if (shoff != 0) {
    if (!Inside(n, shoff, shnum, shentsize)) return "its section headers lie past the end";
    for (uint64_t i = 0; i < shnum; ++i) {
      const uint64_t at = shoff + i * shentsize;
      if (shentsize < (wide ? 64u : 40u)) return "its section headers are too short";
      const uint64_t type = Field(b, at + 4, 4);
      const uint64_t offset = Field(b, at + (wide ? 24 : 16), wide ? 8 : 4);
      const uint64_t size = Field(b, at + (wide ? 32 : 20), wide ? 8 : 4);
      // SHT_NOBITS takes no room in the file
      if (type != 8 && !Inside(n, offset, 1, size)) return "a section lies past the end";
    }
  }
  return std::string();
}

std::string PeProblem(const std::string& b, uint64_t pe) {
  const uint64_t n = b.size();
  const uint64_t sections = Field(b, pe + 6, 2);
  const uint64_t symbols = Field(b, pe + 12, 4), symbolCount = Field(b, pe + 16, 4);
  const uint64_t optional = Field(b, pe + 20, 2);
  const uint64_t table = pe + 24 + optional;
  if (!Inside(n, pe + 24, 1, optional)) return "its optional header is cut off";
  if (!Inside(n, table, sections, 40)) return "its section table lies past the end";
  for (uint64_t i = 0; i < sections; ++i) {
    const uint64_t rawSize = Field(b, table + i * 40 + 16, 4), rawAt = Field(b, table + i * 40 + 20, 4);
    if (rawSize != 0 && !Inside(n, rawAt, 1, rawSize)) return "a section lies past the end";
  }
  if (symbols != 0) {
    // COFF symbols, then the string table that gives its own length
    if (!Inside(n, symbols, symbolCount, 18)) return "its symbol table lies past the end";
    const uint64_t strings = symbols + symbolCount * 18;
    if (!Inside(n, strings, 1, 4) || !Inside(n, strings, 1, Field(b, strings, 4))) {
      return "its string table lies past the end";
    }
  }
  return std::string();
}

}  // namespace

std::string CheckPluginBytes(const std::string& b, const std::string& name) {
  const std::string prefix = "not a complete plug-in: " + name + " ";
  Format format;
  uint32_t machine = 0;
  std::string problem;
  if (b.size() >= 20 && b.compare(0, 4,
                                  "\x7F"
                                  "ELF") == 0) {
    format = Format::kElf;
    machine = static_cast<uint32_t>(Field(b, 18, 2));
    problem = ElfProblem(b);
  } else if (b.size() >= 64 && b.compare(0, 2, "MZ") == 0) {
    const uint64_t pe = Field(b, 0x3C, 4);
    if (!Inside(b.size(), pe, 1, 24)) {
      return prefix + "is cut off: its PE header lies past the end of its " + std::to_string(b.size()) +
             " bytes";
    }
    if (b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return prefix + "is a DOS program, not a PE library";
    format = Format::kPe;
    machine = static_cast<uint32_t>(Field(b, pe + 4, 2));
    problem = PeProblem(b, pe);
  } else {
    return prefix + "is neither an ELF nor a PE library (" + std::to_string(b.size()) + " bytes)";
  }
  if (!problem.empty()) {
    return prefix + "is cut off: " + problem + " of its " + std::to_string(b.size()) + " bytes";
  }
  if (format != kThisPlatform.format || machine != kThisPlatform.machine) {
    std::string platform = format == Format::kElf ? "an unknown ELF platform" : "an unknown PE platform";
    for (const Platform& p : kKnown) {
      if (p.format == format && p.machine == machine) platform = p.name;
    }
    return prefix + "is a library for " + platform + "; this host runs on " + kThisPlatform.name;
  }
  return std::string();
}

std::string CheckPluginFile(const std::string& path) {
  std::string bytes;
  if (!ReadFileBytes(path, &bytes)) return "not a complete plug-in: " + path + " cannot be read";
  return CheckPluginBytes(bytes, path);
}

}  // namespace tumelin
