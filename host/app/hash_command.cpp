#include <iostream>

#include "commands.h"
#include "run_loop.h"
#include "user_text.h"

namespace tumelin {

// every scenario is checked before the first one runs
int CommandHash(const std::string& pluginPath, const std::vector<std::string>& files) {
  std::vector<Scenario> scenarios;
  for (const std::string& file : files) scenarios.push_back(ResolveOrThrow(file, ScenarioChoices{}));
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  for (const Scenario& s : scenarios) {
    const uint64_t hash = RunScenario(plugin, s, s.iniPath, RunOutput{}, false);
    std::cout << HexHash(hash) << "  " << s.name << "  " << Count(s.steps, "step", "steps") << std::endl;
  }
  return 0;
}

}  // namespace tumelin
