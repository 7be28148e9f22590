#include "sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "exit_status.h"
#include "formats.h"
#include "profile_reader.h"
#include "user_text.h"

namespace tumelin {

namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.emplace_back(
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// a CSV field, quoted when it needs to be
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// the column names of a run's figures.csv
std::vector<std::string> FigureColumns(Shape shape) {
  const std::string csv = CsvText({}, shape);
  return Split(csv.substr(0, csv.find('\n')), ',');
}

bool FiniteNumber(const std::string& text) {
  if (text.empty()) return true;  // a column the shape leaves empty
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && std::isfinite(value);
}

}  // namespace

bool ParseSweepAxis(std::string_view text, char16_t decimalSeparator, SweepAxis* axis, std::string* error) {
  SetupText assignment;
  if (!ParseSetupAssignment(text, &assignment, error)) return false;
  std::string list = assignment.value;
  // with a point, a list of both ',' and ';' may mean decimal commas: refuse
  // it with both readings rather than guess
  const bool both = list.find(',') != std::string::npos && list.find(';') != std::string::npos;
  if (both && decimalSeparator != u',') {
    const std::vector<std::string> commas = Split(list, ';');
    std::replace(list.begin(), list.end(), ',', ';');
    const std::vector<std::string> all = Split(list, ';');
    auto reading = [](const std::vector<std::string>& values) {
      std::string text;
      for (const std::string& v : values) text += (text.empty() ? "" : " | ") + std::string(TrimBlanks(v));
      return std::to_string(values.size()) + " values (" + text + ")";
    };
    *error = assignment.key + ": \"" + assignment.value +
             "\" mixes ',' and ';', so it reads two ways: " + reading(all) +
             " with both separating values, or " + reading(commas) +
             " with ',' as a decimal comma, which your decimal separator '" +
             Utf16ToUtf8(std::u16string(1, decimalSeparator)) +
             "' does not read; separate the values with one of them only";
    return false;
  }
  // with a decimal comma, only ';' separates values
  if (decimalSeparator != u',') std::replace(list.begin(), list.end(), ',', ';');
  SweepAxis a;
  a.key = assignment.key;
  for (const std::string& part : Split(list, ';')) {
    const std::string_view value = TrimBlanks(part);
    if (value.empty()) {
      *error = assignment.key + ": an empty value in the list \"" + assignment.value + "\"" +
               (decimalSeparator == u',' ? " (separate values with ';': your decimal separator is ',')"
                                         : " (separate values with ',' or ';')");
      return false;
    }
    a.values.emplace_back(value);
  }
  *axis = std::move(a);
  return true;
}

size_t CombinationCount(const std::vector<SweepAxis>& axes) {
  size_t n = 1;
  for (const SweepAxis& a : axes) n *= a.values.size();
  return n;
}

std::vector<SetupText> Combination(const std::vector<SweepAxis>& axes, size_t index) {
  std::vector<SetupText> values(axes.size());
  for (size_t k = axes.size(); k-- > 0;) {
    const size_t n = axes[k].values.size();
    values[k] = {axes[k].key, axes[k].values[index % n]};
    index /= n;
  }
  return values;
}

void RunPool(size_t count, int workers, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  auto work = [&]() {
    for (size_t i = next++; i < count; i = next++) job(i);
  };
  const size_t threads =
      std::min<size_t>(static_cast<size_t>(std::max(workers, 1)), std::max<size_t>(count, 1));
  std::vector<std::thread> pool;
  for (size_t t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
}

RunStatus SweepRun::Status() const {
  if (started && exitStatus == kExitDiverged) return RunStatus::kDiverged;
  if (!started || exitStatus != 0) return RunStatus::kFailed;
  for (const std::string& f : figures) {
    if (!FiniteNumber(f)) return RunStatus::kDiverged;
  }
  return figures.empty() ? RunStatus::kFailed : RunStatus::kOk;
}

const char* StatusName(RunStatus status) {
  switch (status) {
    case RunStatus::kOk:
      return "ok";
    case RunStatus::kDiverged:
      return "diverged";
    case RunStatus::kFailed:
      break;
  }
  return "failed";
}

std::string FirstComplaint(const std::string& log) {
  for (const char* marker : {"error:", "warning:"}) {
    for (std::string line : Split(log, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t at = line.find(marker);
      if (at != std::string::npos) return std::string(TrimBlanks(line.substr(at)));
    }
  }
  return std::string();
}

std::vector<std::string> LastCsvRow(const std::string& csv) {
  std::string_view text = csv;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  const size_t start = text.rfind('\n');
  return Split(text.substr(start == std::string_view::npos ? 0 : start + 1), ',');
}

std::string SweepCsv(const std::vector<SweepAxis>& axes, const std::vector<SweepRun>& runs, Shape shape) {
  const std::vector<std::string> columns = FigureColumns(shape);
  std::string out = "run";
  for (const SweepAxis& a : axes) out += "," + CsvField(a.key);
  out += ",status,exit_status";
  for (const std::string& c : columns) out += "," + c;
  out += ",message\n";
  for (size_t i = 0; i < runs.size(); ++i) {
    const SweepRun& r = runs[i];
    out += std::to_string(i + 1);
    for (const SetupText& s : r.settings) out += "," + CsvField(s.value);
    out += "," + std::string(StatusName(r.Status())) + "," +
           (r.started ? std::to_string(r.exitStatus) : std::string());
    for (size_t c = 0; c < columns.size(); ++c)
      out += "," + (c < r.figures.size() ? r.figures[c] : std::string());
    out += "," + CsvField(r.message) + "\n";
  }
  return out;
}

std::vector<std::string> TileLabel(const SweepRun& run, Shape shape) {
  std::vector<std::string> lines;
  for (const SetupText& s : run.settings) lines.push_back(s.key + "=" + s.value);
  const RunStatus status = run.Status();
  if (status == RunStatus::kFailed) {
    lines.push_back(run.started ? "failed, exit " + std::to_string(run.exitStatus) : "failed to start");
    return lines;
  }
  if (status == RunStatus::kDiverged) {
    lines.push_back(StatusName(status));
    return lines;
  }
  const std::vector<std::string> columns = FigureColumns(shape);
  const ShapeFigure figure = FigureOf(shape);
  const size_t at =
      static_cast<size_t>(std::find(columns.begin(), columns.end(), FigureColumn(figure)) - columns.begin());
  const std::string value = at < run.figures.size() ? run.figures[at] : std::string();
  // four significant digits are enough to tell tiles apart
  char text[64];
  std::snprintf(text, sizeof text, "%s %.4g", FigureWord(figure), std::strtod(value.c_str(), nullptr));
  lines.push_back(text);
  return lines;
}

std::string SweepCountLine(size_t done, size_t total, size_t failed) {
  std::string line =
      std::to_string(done) + " of " + Count(static_cast<long long>(total), "run", "runs") + " done";
  if (failed > 0) line += ", " + std::to_string(failed) + " failed";
  return line;
}

}  // namespace tumelin
