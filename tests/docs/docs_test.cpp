// The numbers of docs/ against the built plug-in and the compiler: the record
// layouts of host-integration.md against offsetof on this build, the defaults
// and value examples of settings.md through PluginExecZR71, and the grid
// tables of topologies.md through PluginExecZR73, the model's constants, the
// state hash's example and the [Membrane] keys against the code. The tables
// are found by the marker comment above each (<!-- layout TClothPoint -->,
// ...). The first sentences of the header's rules on threads and floating
// point stand in host-integration.md as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bits.h"
#include "host_array.h"
#include "loaded_plugin.h"
#include "model_constants.h"
#include "scenario.h"
#include "simulation.h"
#include "text.h"

namespace {

using Row = std::vector<std::string>;

// a document's text
std::string ReadDoc(const std::string& name) {
  std::string text;
  EXPECT_TRUE(tumelin::ReadFileBytes(std::string(TUMELIN_DOCS) + "/" + name, &text)) << name;
  return text;
}

// the cells of one table row, trimmed, without backticks
Row Cells(const std::string& line) {
  Row cells;
  std::string cell;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] != '|') {
      if (line[i] != '`') cell += line[i];
      continue;
    }
    const size_t first = cell.find_first_not_of(' ');
    cells.push_back(first == std::string::npos ? ""
                                               : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
    cell.clear();
  }
  return cells;
}

struct Table {
  std::string marker;     // what follows "<!-- " up to " -->"
  std::vector<Row> rows;  // body rows, without the head and the rule
};

// every table that follows a marker beginning with `kind`
std::vector<Table> Tables(const std::string& doc, const std::string& kind) {
  std::vector<Table> tables;
  std::istringstream in(doc);
  std::string line;
  Table* current = nullptr;
  int headLines = 0;
  while (std::getline(in, line)) {
    if (line.rfind("<!-- " + kind, 0) == 0) {
      tables.push_back(Table{line.substr(5, line.find(" -->") - 5), {}});
      current = &tables.back();
      headLines = 2;
    } else if (current != nullptr && line.rfind("|", 0) == 0) {
      if (headLines > 0) {
        --headLines;
      } else {
        current->rows.push_back(Cells(line));
      }
    } else if (current != nullptr && !current->rows.empty()) {
      current = nullptr;
    }
  }
  return tables;
}

// "mode=0 columns=5 rows=4" -> its numbers by name
std::map<std::string, int> Numbers(const std::string& marker) {
  std::map<std::string, int> numbers;
  std::istringstream in(marker);
  std::string word;
  while (in >> word) {
    const size_t eq = word.find('=');
    if (eq != std::string::npos) numbers[word.substr(0, eq)] = std::atoi(word.c_str() + eq + 1);
  }
  return numbers;
}

// ---- host-integration.md: record layouts ------------------------------------------

struct Field {
  const char* record;
  const char* name;
  size_t offset;
};

#define TUMELIN_FIELD(record, field) \
  Field { #record, #field, offsetof(record, field) }
const Field kFields[] = {
    TUMELIN_FIELD(TDbl3D, X),
    TUMELIN_FIELD(TDbl3D, Y),
    TUMELIN_FIELD(TDbl3D, Z),
    TUMELIN_FIELD(TClothPoint, Pos),
    TUMELIN_FIELD(TClothPoint, NewPos),
    TUMELIN_FIELD(TClothPoint, Vel),
    TUMELIN_FIELD(TClothPoint, NewVel),
    TUMELIN_FIELD(TClothPoint, Fixed),
    TUMELIN_FIELD(TClothPoint, LinkCount),
    TUMELIN_FIELD(TClothPoint, Links),
    TUMELIN_FIELD(TClothPoint, Faces),
    TUMELIN_FIELD(TClothLink, Target),
    TUMELIN_FIELD(TClothLink, RestLength),
    TUMELIN_FIELD(TClothFace, P0),
    TUMELIN_FIELD(TClothFace, P1),
    TUMELIN_FIELD(TClothFace, P2),
    TUMELIN_FIELD(TClothFace, Normal),
    TUMELIN_FIELD(TClothSetup, ClothP),
    TUMELIN_FIELD(TClothSetup, ClothK0),
    TUMELIN_FIELD(TClothSetup, ClothK1),
    TUMELIN_FIELD(TClothSetup, ClothC),
    TUMELIN_FIELD(TClothSetup, ClothT0),
    TUMELIN_FIELD(TClothSetup, ClothMethod),
    TUMELIN_FIELD(TSurfaceGrid, Mode),
    TUMELIN_FIELD(TSurfaceGrid, CountU),
    TUMELIN_FIELD(TSurfaceGrid, CountV),
    TUMELIN_FIELD(TSurfaceGrid, HostData),
};
#undef TUMELIN_FIELD

const std::map<std::string, size_t> kSizes = {
    {"TDbl3D", sizeof(TDbl3D)},           {"TClothPoint", sizeof(TClothPoint)},
    {"TClothLink", sizeof(TClothLink)},   {"TClothFace", sizeof(TClothFace)},
    {"TClothSetup", sizeof(TClothSetup)}, {"TSurfaceGrid", sizeof(TSurfaceGrid)},
};

TEST(HostIntegrationDoc, LayoutTablesAreThisBuildsOffsets) {
  // column 1 is the 32-bit Windows layout, column 2 the 64-bit Linux one
  const size_t column = sizeof(void*) == 4 ? 1 : 2;
  const std::vector<Table> tables = Tables(ReadDoc("host-integration.md"), "layout ");
  std::set<std::string> documented;
  for (const Table& table : tables) {
    const std::string record = table.marker.substr(std::string("layout ").size());
    ASSERT_TRUE(kSizes.count(record)) << "a table for an unknown record " << record;
    for (const Row& row : table.rows) {
      ASSERT_GT(row.size(), column) << record;
      const size_t offset = std::stoul(row[column]);
      if (row[0] == "(size)") {
        EXPECT_EQ(offset, kSizes.at(record)) << record << " size";
        documented.insert(record);
        continue;
      }
      bool known = false;
      for (const Field& f : kFields) {
        if (record != f.record || row[0] != f.name) continue;
        known = true;
        EXPECT_EQ(offset, f.offset) << record << "." << row[0];
      }
      EXPECT_TRUE(known) << "the table names " << record << "." << row[0] << ", which the header lacks";
      documented.insert(record + "." + row[0]);
    }
  }
  // every field and every size is in a table
  for (const Field& f : kFields)
    EXPECT_TRUE(documented.count(std::string(f.record) + "." + f.name)) << f.name;
  for (const auto& size : kSizes) EXPECT_TRUE(documented.count(size.first)) << size.first << " size";
}

TEST(HostIntegrationDoc, StateHashExampleIsTheToolsHash) {
  const std::string doc = ReadDoc("host-integration.md");
  const std::vector<Table> tables = Tables(doc, "state hash example");
  ASSERT_EQ(tables.size(), 1u);
  tumelin::Membrane m;
  m.points.Resize(static_cast<int32_t>(tables[0].rows.size()));
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const Row& row = tables[0].rows[static_cast<size_t>(i)];
    TDbl3D& pos = m.points[i].Pos;
    TDbl3D& vel = m.points[i].Vel;
    ASSERT_EQ(std::sscanf(row[1].c_str(), "(%lf, %lf, %lf)", &pos.X, &pos.Y, &pos.Z), 3) << row[1];
    ASSERT_EQ(std::sscanf(row[2].c_str(), "(%lf, %lf, %lf)", &vel.X, &vel.Y, &vel.Z), 3) << row[2];
  }
  std::smatch hash;
  ASSERT_TRUE(std::regex_search(doc, hash, std::regex("have the state hash `([0-9a-f]{16})`")));
  EXPECT_EQ(tumelin::HexHash(tumelin::StateHash(m)), hash[1].str());
}

// ---- the header's rules for hosts, repeated in host-integration.md ----------------

// text as a reader sees it: no comment stars, Markdown marks or line breaks,
// one blank between words, lower case
std::string Prose(const std::string& text) {
  std::string prose;
  for (const char c : text) {
    const bool blank = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (c == '*' || c == '`' || (blank && (prose.empty() || prose.back() == ' '))) continue;
    prose += blank ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return prose;
}

TEST(HostRulesDoc, DocumentsStateTheHeadersThreadAndFloatingPointRules) {
  const std::string header = Prose(ReadDoc("../include/tumelin/tumelin.h"));
  for (const std::string rule : {"threads", "floating point"}) {
    // the first sentence of the rule in the header's list of rules a host keeps
    std::smatch sentence;
    ASSERT_TRUE(std::regex_search(header, sentence, std::regex("- " + rule + ": ([^.]+\\.)"))) << rule;
    EXPECT_NE(Prose(ReadDoc("host-integration.md")).find(sentence[1].str()), std::string::npos)
        << "host-integration.md does not say the header's rule on " << rule << ": " << sentence[1];
  }
}

// ---- settings.md: defaults and values ------------------------------------------------

struct Key {
  const char* name;
  double TClothSetup::*real;
  int32_t TClothSetup::*integer;
};

const Key kKeys[] = {
    {"ClothP", &TClothSetup::ClothP, nullptr},   {"ClothC", &TClothSetup::ClothC, nullptr},
    {"ClothK0", &TClothSetup::ClothK0, nullptr}, {"ClothK1", &TClothSetup::ClothK1, nullptr},
    {"ClothT0", nullptr, &TClothSetup::ClothT0}, {"ClothMethod", nullptr, &TClothSetup::ClothMethod},
};

const Key& FindKey(const std::string& name) {
  for (const Key& key : kKeys) {
    if (name == key.name) return key;
  }
  ADD_FAILURE() << "unknown key " << name;
  return kKeys[0];
}

// the field of `key` equals the number `text` says, exactly; "default" means
// the field of `defaults`
void ExpectStored(const TClothSetup& setup, const Key& key, const std::string& text,
                  const TClothSetup& defaults, const std::string& context) {
  if (key.real != nullptr) {
    const double want = text == "default" ? defaults.*key.real : std::strtod(text.c_str(), nullptr);
    EXPECT_TRUE(tumelin::SameBits(setup.*key.real, want)) << context << ": stored " << setup.*key.real;
  } else {
    const long long want = text == "default" ? defaults.*key.integer : std::stoll(text);
    EXPECT_EQ(setup.*key.integer, want) << context;
  }
}

TClothSetup Defaults() { return loaded::LoadThroughEntry(std::u16string()); }

TEST(SettingsDoc, DefaultsTablesAreWhatAMissingFileLeaves) {
  const TClothSetup defaults = Defaults();
  // the settings document and the user's README of the archives
  for (const char* doc : {"settings.md", "user-readme.md"}) {
    const std::vector<Table> tables = Tables(ReadDoc(doc), "settings defaults");
    ASSERT_EQ(tables.size(), 1u) << doc;
    std::set<std::string> keys;
    for (const Row& row : tables[0].rows) {
      ASSERT_GE(row.size(), 2u);
      ASSERT_NE(row[1], "default");
      ExpectStored(defaults, FindKey(row[0]), row[1], defaults, std::string(doc) + ": " + row[0]);
      keys.insert(row[0]);
    }
    EXPECT_EQ(keys.size(), std::size(kKeys)) << doc << ": every key once";
  }
}

TEST(SettingsDoc, ValueExamplesAreStoredAsShown) {
  const std::vector<Table> tables = Tables(ReadDoc("settings.md"), "values");
  ASSERT_EQ(tables.size(), 1u);
  ASSERT_GT(tables[0].rows.size(), 10u);
  const TClothSetup defaults = Defaults();
  for (const Row& row : tables[0].rows) {
    ASSERT_EQ(row.size(), 3u);
    const Key& key = FindKey(row[0]);
    // the table's value cell is the text after "=", blanks included
    const loaded::TempFile ini("doc_value.ini", "[Setup]\n" + row[0] + "=" + row[1] + "\n");
    const TClothSetup setup = loaded::LoadThroughEntry(ini.Path().u16string());
    const std::string context = row[0] + "=" + row[1];
    ExpectStored(setup, key, row[2], defaults, context);
  }
}

TEST(SettingsDoc, ModelConstantsAreThePluginsOwn) {
  const std::map<std::string, double> constants = {{"time step", tumelin::TimeStep},
                                                   {"point mass", tumelin::kPointMass},
                                                   {"gravity", tumelin::kGravity},
                                                   {"pressure scale", tumelin::kPressureScale},
                                                   {"acceleration limit", tumelin::kAccelerationLimit}};
  const std::vector<Table> tables = Tables(ReadDoc("settings.md"), "model constants");
  ASSERT_EQ(tables.size(), 1u);
  std::set<std::string> named;
  for (const Row& row : tables[0].rows) {
    ASSERT_TRUE(constants.count(row[0])) << row[0];
    EXPECT_TRUE(tumelin::SameBits(std::strtod(row[1].c_str(), nullptr), constants.at(row[0]))) << row[0];
    named.insert(row[0]);
  }
  EXPECT_EQ(named.size(), constants.size());
}

// ---- tumelin-host.md: section [Membrane] ---------------------------------------------

TEST(HostDoc, MembraneKeysTableIsTheHostsOwn) {
  const std::vector<Table> tables = Tables(ReadDoc("tumelin-host.md"), "membrane keys");
  ASSERT_EQ(tables.size(), 1u);
  std::vector<std::string> keys;
  std::string defaults = "[Membrane]\n";
  for (const Row& row : tables[0].rows) {
    keys.push_back(row[0]);
    // the default's first word, where the key has one, is the options table's
    const std::string value = row[3].substr(0, row[3].find(' '));
    if (value != "—") defaults += row[0] + "=" + value + "\n";
    for (const tumelin::MembraneOption& option : tumelin::kMembraneOptions) {
      if (row[0] != option.ini) continue;
      EXPECT_EQ(value == "—" ? "" : value, option.def) << row[0];
      EXPECT_NE(row[1].find(std::string("--") + option.flag), std::string::npos) << row[0];
    }
  }
  EXPECT_EQ(keys, tumelin::MembraneKeys());
  // every documented default given in a file builds what no file builds
  const loaded::TempFile ini("membrane_defaults.ini", defaults);
  tumelin::Scenario given, none;
  std::string error;
  ASSERT_TRUE(tumelin::ResolveScenario(ini.Utf8(), {}, &given, &error)) << error;
  ASSERT_TRUE(tumelin::ResolveScenario("", {}, &none, &error)) << error;
  EXPECT_EQ(tumelin::SceneIniText(given, Defaults()), tumelin::SceneIniText(none, Defaults()));
  // a key for the grid shapes only applies to no mesh, and the table says so
  for (const Row& row : tables[0].rows) {
    if (defaults.find("\n" + row[0] + "=") == std::string::npos) continue;
    const std::string where = ini.Utf8() + ": [Membrane] " + row[0];
    const bool gridOnly = std::count(given.gridSettings.begin(), given.gridSettings.end(), where) > 0;
    EXPECT_EQ(gridOnly, row[4].find("all") == std::string::npos && row[4].find("mesh") == std::string::npos)
        << row[0];
  }
}

// ---- topologies.md: which point lands in which cell ----------------------------------

// a point array whose points have distinct positions, and a grid whose every
// cell holds a position no point has
struct GridRun {
  tumelin::HostArray<TClothPoint> points;
  TClothPointArray pointsVar = nullptr;
  TSurfaceGrid* grid = nullptr;
  size_t bytes = 0;

  GridRun(int mode, int columns, int rows, int32_t pointCount) : points(pointCount) {
    for (int32_t i = 0; i < pointCount; ++i) points[i].Pos = TDbl3D{static_cast<double>(i), -1.0 * i, 0.5};
    pointsVar = points.Data();
    grid = TumelinGridAlloc(static_cast<uint8_t>(mode), columns, rows);
    bytes = TumelinGridBytes(columns);
    for (int32_t u = 0; u < columns; ++u) {
      for (int32_t v = 0; v < TUMELIN_GRID_ROWS; ++v) *TumelinGridCell(grid, u, v) = kUntouched;
    }
  }
  ~GridRun() { std::free(grid); }
  GridRun(const GridRun&) = delete;
  GridRun& operator=(const GridRun&) = delete;

  void Write() { loaded::LoadedPlugin().execZR73(grid, &pointsVar); }
  bool Holds(int32_t u, int32_t v, const TDbl3D& pos) {
    return std::memcmp(TumelinGridCell(grid, u, v), &pos, sizeof pos) == 0;
  }

  static constexpr TDbl3D kUntouched{-7.0, -7.0, -7.0};
};

TEST(TopologiesDoc, GridTablesAreWhatTheWriteBackDoes) {
  const std::vector<Table> tables = Tables(ReadDoc("topologies.md"), "grid ");
  ASSERT_GE(tables.size(), 10u);
  for (const Table& table : tables) {
    std::map<std::string, int> n = Numbers(table.marker);
    const int columns = n["columns"], rows = n["rows"];
    GridRun run(n["mode"], columns, rows, 1000);  // more points than any table reads
    run.Write();
    ASSERT_EQ(static_cast<int>(table.rows.size()), rows) << table.marker;
    for (int v = 0; v < rows; ++v) {
      const Row& row = table.rows[static_cast<size_t>(v)];
      ASSERT_EQ(static_cast<int>(row.size()), columns + 1) << table.marker << " row " << v;
      EXPECT_EQ(row[0], std::to_string(v)) << table.marker;
      for (int u = 0; u < columns; ++u) {
        const std::string& cell = row[static_cast<size_t>(u) + 1];
        const TDbl3D want = cell == "·" ? GridRun::kUntouched : run.points[std::stoi(cell)].Pos;
        EXPECT_TRUE(run.Holds(u, v, want))
            << table.marker << ": cell (" << u << ", " << v << ") is not " << cell;
      }
    }
    // the rows below the table are left alone
    for (int u = 0; u < columns; ++u) {
      for (int v = rows; v < TUMELIN_GRID_ROWS; ++v)
        EXPECT_TRUE(run.Holds(u, v, GridRun::kUntouched)) << table.marker;
    }
  }
}

TEST(TopologiesDoc, PointsReadAreEnoughAndOneFewerWritesNothing) {
  const std::vector<Table> tables = Tables(ReadDoc("topologies.md"), "points-read");
  ASSERT_EQ(tables.size(), 1u);
  for (const Row& row : tables[0].rows) {
    ASSERT_EQ(row.size(), 4u);
    const int mode = std::stoi(row[0]), columns = std::stoi(row[1]), rows = std::stoi(row[2]);
    const int32_t needed = std::stoi(row[3]);
    const std::string context = "mode " + row[0] + ", " + row[1] + " x " + row[2];

    GridRun enough(mode, columns, rows, needed);
    enough.Write();
    EXPECT_TRUE(enough.Holds(0, 0, enough.points[0].Pos)) << context;
    // the last point shows in some cell
    bool lastShown = false;
    for (int u = 0; u < columns && !lastShown; ++u) {
      for (int v = 0; v < rows && !lastShown; ++v)
        lastShown = enough.Holds(u, v, enough.points[needed - 1].Pos);
    }
    EXPECT_TRUE(lastShown) << context;

    GridRun tooFew(mode, columns, rows, needed - 1);
    const std::vector<unsigned char> before(reinterpret_cast<unsigned char*>(tooFew.grid),
                                            reinterpret_cast<unsigned char*>(tooFew.grid) + tooFew.bytes);
    tooFew.Write();
    EXPECT_EQ(std::memcmp(before.data(), tooFew.grid, tooFew.bytes), 0) << context << " with one point fewer";
  }
}

}  // namespace
