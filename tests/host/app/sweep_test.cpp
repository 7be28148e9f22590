// The sweep: its lists, their combinations, the pool and the CSV.
#include "sweep.h"

#include "host_fixtures.h"

using namespace tumelin;

TEST(Sweep, ListsSplitAsTheUsersDecimalSeparatorAllows) {
  struct Case {
    const char* text;
    char16_t separator;
    std::vector<std::string> values;  // empty: refused
  };
  const Case cases[] = {
      {"ClothP=0.2,0.5,1", u'.', {"0.2", "0.5", "1"}},
      {"clothp = 0.2 ; 0.5", u'.', {"0.2", "0.5"}},
      {"ClothK0=5", u'.', {"5"}},
      {"ClothP=0,2;0,5;1", u',', {"0,2", "0,5", "1"}},
      {"ClothP=0,5", u',', {"0,5"}},
      {"ClothP=0.2,,1", u'.', {}},
      {"ClothP=0,2;0,5;1", u'.', {}},  // decimal commas, or five values
      {"ClothP=", u'.', {}},
      {"ClothP=0,2;", u',', {}},
      {"Pressure=1,2", u'.', {}},
      {"ClothP", u'.', {}},
  };
  for (const Case& c : cases) {
    SweepAxis axis;
    std::string error;
    const bool ok = ParseSweepAxis(c.text, c.separator, &axis, &error);
    EXPECT_EQ(ok, !c.values.empty()) << c.text;
    if (ok) {
      EXPECT_EQ(axis.key.substr(0, 5), "Cloth") << c.text;
      EXPECT_EQ(axis.values, c.values) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(Sweep, CombinationsCoverTheProductOnceEach) {
  const std::vector<SweepAxis> axes = {
      {"ClothP", {"0.2", "0.5", "1"}}, {"ClothK0", {"5", "20"}}, {"ClothMethod", {"0", "1", "2", "3"}}};
  ASSERT_EQ(CombinationCount(axes), 24u);
  std::set<std::vector<std::string>> seen;
  for (size_t i = 0; i < 24; ++i) {
    const std::vector<SetupText> c = Combination(axes, i);
    ASSERT_EQ(c.size(), 3u);
    std::vector<std::string> values;
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(c[k].key, axes[k].key);
      values.push_back(c[k].value);
    }
    EXPECT_TRUE(seen.insert(values).second) << i;
  }
  // the last list varies fastest: neighbours differ in it
  EXPECT_EQ(Combination(axes, 0)[2].value, "0");
  EXPECT_EQ(Combination(axes, 1)[2].value, "1");
  EXPECT_EQ(Combination(axes, 1)[0].value, "0.2");
  EXPECT_EQ(CombinationCount({}), 1u);
}

TEST(Sweep, PoolRunsEveryJobExactlyOnce) {
  for (int workers : {1, 3, 64}) {
    std::vector<std::atomic<int>> runs(37);
    RunPool(runs.size(), workers, [&](size_t i) { ++runs[i]; });
    for (size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i].load(), 1) << i << " with " << workers;
  }
  RunPool(0, 4, [](size_t) { ADD_FAILURE() << "no job to run"; });
}

TEST(Sweep, CsvHasOneRowPerRunAndEveryOutcome) {
  const std::vector<SweepAxis> axes = {{"ClothP", {"0.5"}}, {"ClothC", {"1", "700", "bad"}}};
  const std::string figures = CsvText({StepFigures{}}, Shape::kSphere);
  std::vector<SweepRun> runs(3);
  for (size_t i = 0; i < 3; ++i) {
    runs[i].settings = Combination(axes, i);
    runs[i].started = true;
    runs[i].exitStatus = 0;
    runs[i].figures = LastCsvRow(figures);
  }
  runs[1].figures[2] = "-nan";  // the volume
  runs[2].exitStatus = 1;
  runs[2].figures.clear();
  runs[2].message =
      FirstComplaint("tumelin-host: warning: ClothP: \"x\"\ntumelin-host: error: step 5, point 3");
  EXPECT_EQ(runs[0].Status(), RunStatus::kOk);
  EXPECT_EQ(runs[1].Status(), RunStatus::kDiverged);
  EXPECT_EQ(runs[2].Status(), RunStatus::kFailed);
  EXPECT_EQ(runs[2].message, "error: step 5, point 3");

  const std::string csv = SweepCsv(axes, runs, Shape::kSphere);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  // every row has the header's number of fields (the message has a comma, quoted)
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  const auto fields = [](const std::string& l) {
    size_t n = 1;
    bool quoted = false;
    for (char c : l) quoted = c == '"' ? !quoted : quoted, n += (c == ',' && !quoted) ? 1 : 0;
    return n;
  };
  const size_t columns = fields(line);
  EXPECT_EQ(line.substr(0, 26), "run,ClothP,ClothC,status,e");
  while (std::getline(lines, line)) EXPECT_EQ(fields(line), columns) << line;
  EXPECT_NE(csv.find(",failed,1,"), std::string::npos);

  // the tiles say what was set and how it ended
  EXPECT_EQ(TileLabel(runs[0], Shape::kSphere),
            (std::vector<std::string>{"ClothP=0.5", "ClothC=1", "volume 0"}));
  EXPECT_EQ(TileLabel(runs[2], Shape::kSphere).back(), "failed, exit 1");
  EXPECT_EQ(TileLabel(runs[1], Shape::kSphere).back(), "diverged");
  EXPECT_EQ(SweepCountLine(3, 6, 1), "3 of 6 runs done, 1 failed");
}
