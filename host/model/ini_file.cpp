#include "ini_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "outputs.h"
#include "plugin_loader.h"
#include "profile_reader.h"
#include "setup_rules.h"
#include "user_text.h"

namespace tumelin {

bool IniFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  profilePath_ = PathForPlugin(path);
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::u8path(path);
  if (!std::filesystem::is_regular_file(file, ec) || !std::ifstream(file, std::ios::binary)) {
    *error = "INI file not found or unreadable: " + path;
    return false;
  }
  return true;
}

std::string IniFile::Text(std::u16string_view section, std::u16string_view key, size_t bufferChars) const {
  return Utf16ToUtf8(Text16(section, key, bufferChars));
}

std::u16string IniFile::Text16(std::u16string_view section, std::u16string_view key,
                               size_t bufferChars) const {
  return ReadProfileString(profilePath_, section, key, bufferChars);
}

std::vector<std::string> IniFile::KeyNames(std::u16string_view section) const {
  std::vector<std::string> names;
  for (const std::u16string& name : ReadProfileKeyNames(profilePath_, section))
    names.push_back(Utf16ToUtf8(name));
  return names;
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  for (const std::u16string& name : ReadProfileSectionNames(profilePath_)) names.push_back(Utf16ToUtf8(name));
  return names;
}

std::string FormatDouble(double value) {
  char buffer[40];
  // whole numbers as integers, not 5e+02
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

std::string FormatDoubleWithoutSeparator(double value) {
  if (std::fabs(value) < 1e15 && value == std::floor(value)) return FormatDouble(value);
  // the shortest digits that read back, as to_chars gives them: "-1.25e-03"
  char buffer[40];
#ifdef TUMELIN_NO_FLOAT_CHARCONV
  // no floating-point to_chars here: the fewest digits that the runtime's
  // correctly rounded strtod reads back, each count rounded to the nearest
  // decimal (which reads back if any decimal of that many digits does)
  for (int precision = 0; precision <= 16; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*e", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  const std::string text(buffer);
#else
  const std::to_chars_result written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string text(buffer, written.ptr);
#endif
  const size_t e = text.find('e');
  std::string digits = text.substr(0, e);
  int exponent = std::atoi(text.c_str() + e + 1);
  const size_t point = digits.find('.');
  if (point != std::string::npos) {
    exponent -= static_cast<int>(digits.size() - point - 1);
    digits.erase(point, 1);
  }
  return digits + "e" + std::to_string(exponent);
}

std::vector<std::string> SetupKeyNames() {
  std::vector<std::string> names;
  for (const SetupKey& key : kSetupKeys) names.push_back(Utf16ToUtf8(key.name));
  return names;
}

bool ParseSetupAssignment(std::string_view text, SetupText* out, std::string* error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    *error = "expected KEY=VALUE, got \"" + std::string(text) + "\"";
    return false;
  }
  const std::string_view name = TrimBlanks(text.substr(0, equals));
  const std::vector<std::string> names = SetupKeyNames();
  const int found = FindName(Names(names.begin(), names.end()), name);
  if (found < 0) {
    std::string known;
    for (const std::string& n : names) known += (known.empty() ? "" : ", ") + n;
    *error = "\"" + std::string(name) + "\" is not a key of [Setup] (" + known + ")";
    return false;
  }
  const std::string_view value = text.substr(equals + 1);
  // an INI line ends at a line break, and the plug-in's reader at a NUL
  const std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  if (cut != std::string_view::npos) {
    *error = "the value of " + names[static_cast<std::size_t>(found)] + " cannot hold " +
             (value[cut] == '\0' ? "a NUL character" : "a line break");
    return false;
  }
  out->key = names[static_cast<std::size_t>(found)];
  out->value = std::string(value);
  return true;
}

std::vector<SetupText> MergeSetupTexts(const IniFile* ini, const std::vector<SetupText>& overrides) {
  std::vector<SetupText> merged;
  for (const SetupKey& key : kSetupKeys) {
    const std::string name = Utf16ToUtf8(key.name);
    std::string value = ini != nullptr ? ini->Text(u"Setup", key.name) : std::string();
    bool given = !value.empty();
    for (const SetupText& o : overrides) {
      if (o.key == name) value = o.value, given = true;
    }
    if (given) merged.push_back({name, value});
  }
  return merged;
}

std::string IniText(const std::vector<std::string>& comments, const std::vector<IniSection>& sections) {
  std::string text;
  for (const std::string& comment : comments) text += "; " + comment + "\r\n";
  for (const IniSection& section : sections) {
    text += (text.empty() ? "[" : "\r\n[") + section.name + "]\r\n";
    for (const SetupText& line : section.lines) text += line.key + "=" + line.value + "\r\n";
  }
  return text;
}

bool WriteSetupIni(const std::string& path, const std::vector<SetupText>& values, std::string* error) {
  std::vector<SetupText> quoted = values;
  for (SetupText& v : quoted) v.value = "\"" + v.value + "\"";
  const std::u16string text = u"\uFEFF" + Utf8ToUtf16(IniText({}, {{"Setup", quoted}}));
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::ofstream file(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush()) {
    *error = "cannot write the settings file " + path;
    return false;
  }
  return true;
}

namespace {
constexpr char kSetupFileName[] = "tumelin-host-setup.ini";
}  // namespace

SetupFile::~SetupFile() {
  if (!written_) return;
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::u8path(path_), ignored);
}

bool SetupFile::Prepare(const std::string& iniPath, const std::vector<SetupText>& given, std::string* error) {
  if (given.empty()) {
    path_ = iniPath;
    return true;
  }
  IniFile ini;
  if (!iniPath.empty() && !ini.Open(iniPath, error)) return false;
  const std::vector<SetupText> values = MergeSetupTexts(iniPath.empty() ? nullptr : &ini, given);
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  // what a command that was killed left there goes first
  RemoveAbandonedTemporaries(folder.u8string(), kSetupFileName);
  path_ = TemporaryPathBeside((folder / kSetupFileName).u8string());
  written_ = true;
  return WriteSetupIni(path_, values, error);
}

}  // namespace tumelin
