// Writes expected.txt, the table that profile_reader_test holds the portable
// INI reader to, by asking the Windows profile API itself. Not part of the
// build; run by hand under wine after changing the corpus or queries.txt:
//
//   i686-w64-mingw32-g++-posix -static make_expected.cpp -o /tmp/make_expected.exe
//   WINEDEBUG=-all wine /tmp/make_expected.exe Z:$PWD
//
// The folder holds the *.ini corpus and queries.txt (one "section<TAB>key" a
// line). Every table line is file<TAB>section<TAB>key<TAB>value, where
// printable ASCII stands for itself, "\\" for a backslash and \uXXXX for any
// other UTF-16 unit (so no field holds a tab).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kBufferChars = 2048;

std::wstring Unescape(const std::string& text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out.push_back(L'\\');
      ++i;
    } else if (text[i] == '\\' && i + 5 < text.size() && text[i + 1] == 'u') {
      out.push_back(static_cast<wchar_t>(std::stoul(text.substr(i + 2, 4), nullptr, 16)));
      i += 5;
    } else {
      out.push_back(static_cast<unsigned char>(text[i]));
    }
  }
  return out;
}

std::string Escape(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_expected DIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  std::vector<std::pair<std::string, std::string>> queries;
  FILE* queryFile = std::fopen((dir + "/queries.txt").c_str(), "rb");
  if (queryFile == nullptr) return 1;
  char line[4096];
  while (std::fgets(line, sizeof line, queryFile) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t tab = text.find('\t');
    if (text.empty() || text[0] == '#' || tab == std::string::npos) continue;
    queries.emplace_back(text.substr(0, tab), text.substr(tab + 1));
  }
  std::fclose(queryFile);

  std::vector<std::string> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "/*.ini").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 1;
  do files.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end());

  FILE* out = std::fopen((dir + "/expected.txt").c_str(), "wb");
  if (out == nullptr) return 1;
  std::fprintf(
      out,
      "# GetPrivateProfileStringW(section, key, \"\", buffer, %lu, file) for every corpus file and\n"
      "# every line of queries.txt, written by make_expected.cpp under wine; do not edit by hand.\n"
      "# file<TAB>section<TAB>key<TAB>value; \\\\ is a backslash, \\uXXXX any other non-printable unit.\n",
      static_cast<unsigned long>(kBufferChars));
  std::vector<wchar_t> buffer(kBufferChars);
  for (const std::string& file : files) {
    const std::wstring path = Unescape(dir + "/" + file);
    for (const auto& [section, key] : queries) {
      const DWORD copied = GetPrivateProfileStringW(Unescape(section).c_str(), Unescape(key).c_str(), L"",
                                                    buffer.data(), kBufferChars, path.c_str());
      std::fprintf(out, "%s\t%s\t%s\t%s\n", file.c_str(), section.c_str(), key.c_str(),
                   Escape(std::wstring(buffer.data(), copied)).c_str());
    }
  }
  std::fclose(out);
  return 0;
}
