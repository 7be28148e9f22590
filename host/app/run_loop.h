// One run of a scenario: the steps, the checks that stop a diverged run,
// and the files of a run, which appear together once it has succeeded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_set.h"
#include "plugin_loader.h"
#include "render.h"
#include "scenario.h"

namespace tumelin {

struct RunOutput {
  std::string folder;  // empty: write no files
  int imageWidth = 800, imageHeight = 600;
  RenderOptions render;  // its framing is set from the start shape
  bool frameFixed = true;
  bool animate = false;
  bool hash = false;
  // creates frames/ when a frame is due; what it created stays only with
  // the run's files
  NewFolders* folders = nullptr;
};

// a run whose state diverged: nothing after it means anything
struct Diverged {
  std::string message;
};

// one scenario from start to end with the settings file at `setupPath`
// (empty: none); its files appear together, only after the run succeeded.
// `cause` is named should the run diverge. Returns the final state's hash
uint64_t RunScenario(const Plugin& plugin, const Scenario& s, const std::string& setupPath,
                     const RunOutput& out, bool verbose, const std::string& cause = std::string());

}  // namespace tumelin
