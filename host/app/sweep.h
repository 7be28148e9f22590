// Sweeps: every combination of a few [Setup] values, one `tumelin-host run`
// child process per combination, so that the plug-in judges every value from
// a settings file exactly as a host passes it. This module holds what a sweep
// computes: the value lists, the combinations, the pool of workers, and what
// is made of the runs' results (the CSV, the tiles' labels).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ini_file.h"
#include "membrane.h"

namespace tumelin {

// one key of section [Setup] and the values it takes, in the order given
struct SweepAxis {
  std::string key;  // as the key table spells it
  std::vector<std::string> values;
};

// "KEY=V1,V2,..." as a person types it (--set ClothP=0.2,0.5,1). Values are
// separated by ';' and, unless the user's decimal separator is ',', also
// by ','; so with a decimal comma a list reads "ClothP=0,2;0,5;1". Where
// ',' is not the decimal separator, a list with both ',' and ';' is an
// error that shows both readings. Blanks around a value are dropped; an
// empty value is an error. false with a one-line message
bool ParseSweepAxis(std::string_view text, char16_t decimalSeparator, SweepAxis* axis, std::string* error);

// the product of the list sizes
std::size_t CombinationCount(const std::vector<SweepAxis>& axes);
// combination `index` (0 .. CombinationCount - 1): one value per axis, the
// last axis varying fastest
std::vector<SetupText> Combination(const std::vector<SweepAxis>& axes, std::size_t index);

// calls `job(i)` once for every i from 0 to count - 1 on `workers` threads
// (at least one), taking the indices in order; returns when all are done
void RunPool(std::size_t count, int workers, const std::function<void(std::size_t)>& job);

// how a run of a sweep ended: ok; diverged (exited with kExitDiverged, or
// ended with a figure that is not a finite number); or failed (did not
// start, exited with another nonzero status, or left no figures)
enum class RunStatus { kOk, kDiverged, kFailed };
// "ok", "diverged" or "failed", as sweep.csv and the progress lines say it
const char* StatusName(RunStatus status);

// what one run of a sweep left
struct SweepRun {
  std::vector<SetupText> settings;  // its combination
  bool started = false;
  int exitStatus = -1;
  std::vector<std::string> figures;  // the last row of its figures.csv; empty when none
  std::string message;               // its first error or warning line, if any
  bool HasPicture() const { return !picture.empty(); }
  std::string picture;  // its surface.png, empty when none

  RunStatus Status() const;
};

// the first line of `log` that holds "error:", else the first that holds
// "warning:", without the program's name before it; empty when none
std::string FirstComplaint(const std::string& log);
// the fields of the last line of CSV text (plain fields, no quotes)
std::vector<std::string> LastCsvRow(const std::string& csv);

// one row per run: run, every key, status, exit_status, the figures of the
// run's last step under the run's own CSV header, message
std::string SweepCsv(const std::vector<SweepAxis>& axes, const std::vector<SweepRun>& runs, Shape shape);

// the lines under a run's tile: "KEY=VALUE" per axis, then its outcome
// (volume of a closed shape, mean height of a sheet, mean radius of a tube,
// or why it failed)
std::vector<std::string> TileLabel(const SweepRun& run, Shape shape);

// "3 of 6 runs done, 1 failed"
std::string SweepCountLine(std::size_t done, std::size_t total, std::size_t failed);

}  // namespace tumelin
