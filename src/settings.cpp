#include "settings.h"

#include <atomic>
#include <string>

#include "profile_reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tumelin {

namespace {

// 0 until the load-time start-up (or the first use) captures it
std::atomic<char16_t> capturedSeparator{0};

}  // namespace

void CaptureDecimalSeparator(char16_t separator) { capturedSeparator.store(separator); }

char16_t DecimalSeparator() {
  char16_t separator = capturedSeparator.load();
  if (separator == 0) {
    separator = ReadUserDecimalSeparator();
    capturedSeparator.store(separator);
  }
  return separator;
}

std::u16string LookupSetupValue(const std::u16string& iniPath, std::u16string_view key) {
#ifdef _WIN32
  wchar_t buffer[kProfileBufferChars];
  const std::wstring wideKey(key.begin(), key.end());
  const DWORD copied = GetPrivateProfileStringW(L"Setup", wideKey.c_str(), L"", buffer, kProfileBufferChars,
                                                reinterpret_cast<const wchar_t*>(iniPath.c_str()));
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), copied);
#else
  return ReadProfileString(iniPath, u"Setup", key, kProfileBufferChars);
#endif
}

void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup, char16_t separator) {
  SetupDefaults(Setup);
  // an empty path names no file: every default stays
  if (IniPath.empty()) return;
  // in the table's order, each value stored before the next key is read; what
  // the rule does not accept leaves the default
  for (const SetupKey& key : kSetupKeys) {
    StoreSetting(key, JudgeSetting(key, LookupSetupValue(IniPath, key.name), separator), Setup);
  }
#ifdef _WIN32
  // releasing the reader flushes the profile cache for the file; nothing is written
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, reinterpret_cast<const wchar_t*>(IniPath.c_str()));
#endif
}

void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup) {
  LoadSetup(IniPath, Setup, DecimalSeparator());
}

}  // namespace tumelin
