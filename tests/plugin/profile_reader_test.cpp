// The portable INI reader is held to the Windows profile API: every file of
// the corpus in data/ini is asked every lookup of queries.txt, and the answers
// must equal the ones GetPrivateProfileStringW gave for them (expected.txt).
// Under Windows the API is also asked live and both readers must agree; with
// TUMELIN_REGENERATE_EXPECTED set to a path, that test first writes the live
// answers there as a new table (the command is in the table's header).
#include "profile_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "records.h"
#include "settings.h"
#include "temp_file.h"
#include "text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace tumelin;
namespace fs = std::filesystem;

namespace {

const std::string kCorpusDir = TUMELIN_TEST_DATA "/ini";
// the buffer every table lookup is made with
constexpr std::size_t kBufferChars = 2048;

// the first lines of expected.txt, as the regeneration writes them
const std::string kTableHeader =
    "# GetPrivateProfileStringW(section, key, \"\", buffer, " + std::to_string(kBufferChars) +
    ", file) for every corpus file and\n"
    "# every line of queries.txt; do not edit by hand. To regenerate, from the repository root:\n"
    "#   cmake --preset windows-x86 && cmake --build build/windows-x86 --target profile_reader_test\n"
    "#   TUMELIN_REGENERATE_EXPECTED=Z:$PWD/tests/data/ini/expected.txt WINEDEBUG=-all wine \\\n"
    "#     build/windows-x86/tests/profile_reader_test.exe "
    "--gtest_filter=ProfileReaderCorpus.AgreesWithTheLiveWindowsApi\n"
    "# file<TAB>section<TAB>key<TAB>value; \\\\ is a backslash, \\uXXXX any other non-printable unit.\n";

// one lookup of queries.txt, escaped as in the table
struct Query {
  std::string section;
  std::string key;
};

// one line of expected.txt: the file, the lookup and the API's answer
struct Lookup {
  std::string file;
  std::string section;  // escaped, as in the table
  std::string key;      // escaped
  std::u16string expected;
};

// "\\" is a backslash, \uXXXX any UTF-16 unit, everything else itself
std::u16string Unescape(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
      out.push_back(u'\\');
      ++i;
    } else if (text[i] == '\\' && i + 5 < text.size() && text[i + 1] == 'u') {
      out.push_back(static_cast<char16_t>(std::stoul(text.substr(i + 2, 4), nullptr, 16)));
      i += 5;
    } else {
      out.push_back(static_cast<unsigned char>(text[i]));
    }
  }
  return out;
}

// the inverse: what the table holds, and what failures print
std::string Escape(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c == u'\\') {
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

std::u16string CorpusPath(const std::string& file) { return Utf8ToUtf16(kCorpusDir + "/" + file); }

// the lines of a text file split at its tabs, without their line ends,
// except blank and # lines; a line of another number of fields fails
std::vector<std::vector<std::string>> DataRows(const std::string& path, std::size_t fields) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << path;
  std::vector<std::vector<std::string>> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream cells(line + "\t");  // the tab ends the last field, empty or not
    std::vector<std::string> row;
    for (std::string field; std::getline(cells, field, '\t');) row.push_back(field);
    if (row.size() == fields) {
      rows.push_back(row);
    } else {
      ADD_FAILURE() << "malformed line in " << path << ": " << line;
    }
  }
  return rows;
}

// queries.txt: section<TAB>key a line
std::vector<Query> LoadQueries() {
  std::vector<Query> queries;
  for (const auto& row : DataRows(kCorpusDir + "/queries.txt", 2)) queries.push_back({row[0], row[1]});
  return queries;
}

// the names of the *.ini files, in byte order
std::vector<std::string> CorpusFiles() {
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(fs::path(kCorpusDir))) {
    if (entry.path().extension() == ".ini") files.insert(entry.path().filename().string());
  }
  return std::vector<std::string>(files.begin(), files.end());
}

std::vector<Lookup> LoadTable() {
  std::vector<Lookup> table;
  for (const auto& row : DataRows(kCorpusDir + "/expected.txt", 4))
    table.push_back({row[0], row[1], row[2], Unescape(row[3])});
  return table;
}

// the text of expected.txt for these lookups: the header, then one escaped line each
std::string FormatTable(const std::vector<Lookup>& table) {
  std::string text = kTableHeader;
  for (const Lookup& lookup : table) {
    text += lookup.file + "\t" + lookup.section + "\t" + lookup.key + "\t" + Escape(lookup.expected) + "\n";
  }
  return text;
}

std::string Describe(const Lookup& lookup) { return lookup.file + " [" + lookup.section + "] " + lookup.key; }

// the first line where two texts differ, as "line N: <in a> | <in b>"; empty when they are equal
std::string FirstDifference(const std::string& a, const std::string& b) {
  const std::size_t at = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
  if (at == a.size() && at == b.size()) return "";
  const std::size_t start = at == 0 ? 0 : a.find_last_of('\n', at - 1) + 1;  // npos + 1 is 0
  const auto lineAt = [start](const std::string& text) {
    return text.substr(start, text.find('\n', start) - start);
  };
  return "line " + std::to_string(1 + std::count(a.begin(), a.begin() + start, '\n')) + ": " + lineAt(a) +
         " | " + lineAt(b);
}

#ifdef _WIN32
std::u16string WindowsProfileString(const std::u16string& path, const std::u16string& section,
                                    const std::u16string& key, std::size_t bufferChars) {
  std::vector<wchar_t> buffer(bufferChars + 1);
  const std::wstring wideSection(section.begin(), section.end());
  const std::wstring wideKey(key.begin(), key.end());
  const std::wstring widePath(path.begin(), path.end());
  const DWORD copied = GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), L"", buffer.data(),
                                                static_cast<DWORD>(bufferChars), widePath.c_str());
  return std::u16string(buffer.begin(), buffer.begin() + copied);
}

// the table as the API answers it now: every query in every corpus file
std::vector<Lookup> LiveTable() {
  const std::vector<Query> queries = LoadQueries();
  std::vector<Lookup> table;
  for (const std::string& file : CorpusFiles()) {
    for (const Query& query : queries) {
      table.push_back({file, query.section, query.key,
                       WindowsProfileString(CorpusPath(file), Unescape(query.section), Unescape(query.key),
                                            kBufferChars)});
    }
  }
  return table;
}
#endif

}  // namespace

TEST(ProfileReaderCorpus, TableAsksEveryFileTheSameLookups) {
  const std::vector<Lookup> table = LoadTable();
  ASSERT_FALSE(table.empty());

  const std::vector<std::string> files = CorpusFiles();
  const std::set<std::string> corpusFiles(files.begin(), files.end());
  std::set<std::string> tableFiles;
  for (const Lookup& lookup : table) tableFiles.insert(lookup.file);
  // a corpus file added without regenerating the table would go untested
  EXPECT_EQ(tableFiles, corpusFiles);
  EXPECT_GE(corpusFiles.size(), 25u);

  const std::size_t perFile = table.size() / tableFiles.size();
  ASSERT_EQ(perFile * tableFiles.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].section, table[i % perFile].section) << Describe(table[i]);
    EXPECT_EQ(table[i].key, table[i % perFile].key) << Describe(table[i]);
  }

  // and they are the lookups of queries.txt, file by file in byte order
  const std::vector<Query> queries = LoadQueries();
  ASSERT_EQ(table.size(), files.size() * queries.size()) << "queries.txt changed since the table was written";
  for (std::size_t i = 0; i < table.size(); ++i) {
    const Query& query = queries[i % queries.size()];
    EXPECT_EQ(table[i].file, files[i / queries.size()]) << Describe(table[i]);
    EXPECT_EQ(table[i].section, query.section) << Describe(table[i]);
    EXPECT_EQ(table[i].key, query.key) << Describe(table[i]);
  }

  // written back it is the same file byte for byte, so a regeneration that
  // gets the same answers changes nothing
  std::string expected;
  ASSERT_TRUE(ReadFileBytes(kCorpusDir + "/expected.txt", &expected));
  EXPECT_EQ(FirstDifference(FormatTable(table), expected), "");
}

TEST(ProfileReaderCorpus, AnswersAsTheWindowsProfileApi) {
  for (const Lookup& lookup : LoadTable()) {
    const std::u16string got = ReadProfileString(CorpusPath(lookup.file), Unescape(lookup.section),
                                                 Unescape(lookup.key), kBufferChars);
    EXPECT_EQ(Escape(got), Escape(lookup.expected)) << Describe(lookup);
  }
}

#ifdef _WIN32
// the live differential test: both readers, the same files, the same lookups
TEST(ProfileReaderCorpus, AgreesWithTheLiveWindowsApi) {
  const char* regenerate = std::getenv("TUMELIN_REGENERATE_EXPECTED");
  if (regenerate != nullptr && *regenerate != '\0') {
    std::ofstream out(regenerate, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.is_open()) << regenerate;
    out << FormatTable(LiveTable());
    out.close();
    ASSERT_TRUE(out) << "could not write " << regenerate;
  }

  for (const Lookup& lookup : LoadTable()) {
    const std::u16string path = CorpusPath(lookup.file);
    const std::u16string section = Unescape(lookup.section);
    const std::u16string key = Unescape(lookup.key);
    const std::u16string windows = WindowsProfileString(path, section, key, kBufferChars);
    EXPECT_EQ(Escape(ReadProfileString(path, section, key, kBufferChars)), Escape(windows))
        << Describe(lookup);
    EXPECT_EQ(Escape(windows), Escape(lookup.expected)) << "table out of date: " << Describe(lookup);
  }
}
#endif

// the listings that say which keys and sections a file has: only the first
// section of a name counts for its keys, only "key=value" lines not starting
// with ";" are listed, and every "[name]" line is a section
TEST(ProfileReader, ListsKeysOfTheFirstSectionAndEverySection) {
  const std::u16string repeated = CorpusPath("repeated_sections.ini");
  EXPECT_EQ(ReadProfileKeyNames(repeated, u"setup"), std::vector<std::u16string>{u"ClothP"});
  EXPECT_EQ(ReadProfileKeyNames(repeated, u"Other"), std::vector<std::u16string>{u"A"});
  EXPECT_EQ(ReadProfileSectionNames(repeated),
            (std::vector<std::u16string>{u"Setup", u"Other", u"Setup", u"SETUP", u"Other"}));
  EXPECT_EQ(ReadProfileKeyNames(CorpusPath("no_equals.ini"), u"Setup"),
            std::vector<std::u16string>{u"ClothMethod"});
  EXPECT_EQ(ReadProfileKeyNames(CorpusPath("comments.ini"), u"Setup"),
            (std::vector<std::u16string>{u"# ClothC", u"ClothK0", u"ClothK1", u"ClothMethod", u"#ClothP"}));
  EXPECT_TRUE(ReadProfileKeyNames(CorpusPath("repeated_sections.ini"), u"Missing").empty());
  EXPECT_TRUE(ReadProfileSectionNames(Utf8ToUtf16(kCorpusDir + "/no_such_file.ini")).empty());
}

#ifdef _WIN32
// a list of NUL-terminated names as the profile API returns it for a null
// key or section
std::vector<std::u16string> SplitNames(const std::vector<wchar_t>& buffer, DWORD copied) {
  std::vector<std::u16string> names;
  std::u16string name;
  for (DWORD i = 0; i < copied; ++i) {
    if (buffer[i] == L'\0') {
      names.push_back(name);
      name.clear();
    } else {
      name.push_back(static_cast<char16_t>(buffer[i]));
    }
  }
  return names;
}

// names the plug-in reads are ASCII; a file without a byte-order mark is read
// as UTF-8 here and in the ANSI code page there, so other names may differ
bool Ascii(const std::u16string& name) {
  return std::all_of(name.begin(), name.end(), [](char16_t c) { return c < 0x80; });
}

TEST(ProfileReaderCorpus, ListsAsTheLiveWindowsApi) {
  std::vector<wchar_t> buffer(1 << 16);
  for (const std::string& file : CorpusFiles()) {
    const std::u16string path = CorpusPath(file);
    const std::wstring widePath(path.begin(), path.end());
    const DWORD keys = GetPrivateProfileStringW(L"Setup", nullptr, L"", buffer.data(),
                                                static_cast<DWORD>(buffer.size()), widePath.c_str());
    std::vector<std::u16string> windowsKeys = SplitNames(buffer, keys);
    std::vector<std::u16string> ours = ReadProfileKeyNames(path, u"Setup");
    EXPECT_EQ(ours.size(), windowsKeys.size()) << file;
    for (std::size_t i = 0; i < std::min(ours.size(), windowsKeys.size()); ++i) {
      if (Ascii(ours[i])) {
        EXPECT_EQ(Escape(ours[i]), Escape(windowsKeys[i])) << file << " key " << i;
      }
    }
    const DWORD sections =
        GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), widePath.c_str());
    const std::vector<std::u16string> windowsSections = SplitNames(buffer, sections);
    ours = ReadProfileSectionNames(path);
    EXPECT_EQ(ours.size(), windowsSections.size()) << file;
    for (std::size_t i = 0; i < std::min(ours.size(), windowsSections.size()); ++i) {
      if (Ascii(ours[i])) {
        EXPECT_EQ(Escape(ours[i]), Escape(windowsSections[i])) << file << " section " << i;
      }
    }
  }
}
#endif

// cut.ini: A="abcdef", B=abcdef, C=  'ab'  . The API copies at most
// bufferChars - 1 characters and drops a closing quote by removing the last
// character copied whenever the buffer could hold all after the opening one,
// so quoted values come out one short at some sizes (lengths seen from
// GetPrivateProfileStringW for buffers of 0 to 9 characters).
TEST(ProfileReader, CutsValuesToTheBufferAsTheApiDoes) {
  struct Case {
    const char16_t* key;
    std::u16string content;
    std::size_t lengths[10];
  };
  const Case cases[] = {
      {u"A", u"abcdef", {0, 0, 1, 2, 3, 4, 5, 5, 6, 6}},
      {u"B", u"abcdef", {0, 0, 1, 2, 3, 4, 5, 6, 6, 6}},
      {u"C", u"ab", {0, 0, 1, 1, 2, 2, 2, 2, 2, 2}},
  };
  const std::u16string path = CorpusPath("cut.ini");
  for (const Case& c : cases) {
    for (std::size_t bufferChars = 0; bufferChars < 10; ++bufferChars) {
      const std::u16string got = ReadProfileString(path, u"Setup", c.key, bufferChars);
      EXPECT_EQ(Escape(got), Escape(c.content.substr(0, c.lengths[bufferChars])))
          << "key " << Escape(c.key) << ", buffer " << bufferChars;
#ifdef _WIN32
      if (bufferChars > 0) {
        EXPECT_EQ(Escape(got), Escape(WindowsProfileString(path, u"Setup", c.key, bufferChars)))
            << "key " << Escape(c.key) << ", buffer " << bufferChars;
      }
#endif
    }
  }
}

// No path, a missing file or folder, a folder, and where they exist a FIFO
// (which would block the open until a writer comes), /dev/zero (which never
// ends) and /dev/null: each reads as empty text, loading settings from it
// leaves the defaults, and nothing is created
TEST(ProfileReader, OnlyRegularFilesAreRead) {
  const temp_file::TempFolder folder("profile_reader_special");
  const fs::path& dir = folder.path;
  std::vector<std::string> paths = {"", (dir / "missing.ini").string(),
                                    (dir / "no_such_dir" / "setup.ini").string(), kCorpusDir};
  std::ptrdiff_t entries = 0;
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
  entries = 1;
  paths.insert(paths.end(), {(dir / "fifo.ini").string(), "/dev/zero", "/dev/null", dir.string()});
#endif
  TClothSetup defaults;
  SetupDefaults(&defaults);
  for (const std::string& special : paths) {
    const std::u16string path = Utf8ToUtf16(special);
    EXPECT_EQ(ReadProfileString(path, u"Setup", u"ClothP"), u"") << special;
    TClothSetup setup;
    std::memset(&setup, 0xAB, sizeof setup);
    LoadSetup(path, &setup, u'.');
    EXPECT_EQ(std::memcmp(&setup, &defaults, sizeof setup), 0) << special;
  }
  // nothing was created: the folder holds what this test made
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), entries);
}

// LoadSetup goes through the Windows API on Windows and through the portable
// reader elsewhere; the records must match byte for byte either way
TEST(LoadSetupFromCorpus, FillsTheRecordAsOnWindows) {
  const std::pair<const char*, TClothSetup> cases[] = {
      {"basic_crlf.ini", {0.25, 7.5, 3.0, 2.0, 500, 2}},
      {"case_of_names.ini", {1.5, 3.5, 4.5, 2.5, 42, 1}},
      // "Cloth Method" is not ClothMethod
      {"blanks.ini", {1.5, 3.5, 4.5, 2.5, 7, 0}},
      // ClothK0=' 3 ' keeps its blanks inside the quotes, which the float rule skips
      {"quotes_single.ini", {0.75, 3.0, 5.0, 2.0, 12, 0}},
      {"quotes_unmatched.ini", {0.5, 5.0, 5.0, 1.0, 500, 0}},
      // only the first [Setup] counts
      {"repeated_sections.ini", {1.0, 5.0, 5.0, 1.0, 500, 0}},
      // the first line of a key wins, even one without a value
      {"repeated_keys.ini", {1.0, 5.0, 5.0, 1.0, 5, 0}},
      {"long_values.ini", {1.25, 5.0, 5.0, 1.0, 42, 0}},
      {"utf16le_bom.ini", {0.5, 5.0, 5.0, 1.0, 500, 2}},
      {"utf16be_bom.ini", {0.5, 5.0, 5.0, 1.0, 500, 2}},
      // U+00A0 and U+2009 are not blanks; 0x1A is
      {"unicode_blanks.ini", {0.5, 5.0, 5.0, 1.0, 5, 0}},
      {"empty.ini", {0.5, 5.0, 5.0, 1.0, 500, 0}},
  };
  for (const auto& [file, expected] : cases) {
    TClothSetup setup;
    std::memset(&setup, 0xAB, sizeof setup);
    LoadSetup(CorpusPath(file), &setup, u'.');
    EXPECT_TRUE(SameSetup(setup, expected)) << file;
  }
}
