#include <tumelin/tumelin.h>
#include <tumelin/version.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "day_count.h"
#include "user_text.h"

namespace tumelin {

namespace {

// the date and time of a day-count stamp, "YYYY-MM-DD hh:mm:ss"
std::string FormatStamp(double stamp) {
  int64_t days = static_cast<int64_t>(std::floor(stamp));
  int64_t ms = std::llround((stamp - static_cast<double>(days)) * static_cast<double>(kMillisecondsPerDay));
  if (ms >= kMillisecondsPerDay) days += 1, ms -= kMillisecondsPerDay;
  const CivilDate date = CivilFromDays(days - kDayCountTo1970);
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                static_cast<long long>(date.year), static_cast<long long>(date.month),
                static_cast<long long>(date.day), static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
  return buffer;
}

int Info(const std::string& pluginPath) {
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  std::cout << "plug-in        " << plugin.Path() << "\n";
  std::cout << "display name   " << Utf16ToUtf8(plugin.nameZR7()) << "\n";
  double stamp = 0.0;
  for (int generation : {6, 7}) {
    const char16_t *prefix = nullptr, *code = nullptr, *token = nullptr, *name = nullptr;
    int32_t number = -1;
    const int32_t result =
        (generation == 6 ? plugin.rgstZR6 : plugin.rgstZR7)(&prefix, &code, &token, &name, &number, &stamp);
    std::cout << "generation " << generation << "   " << Utf16ToUtf8(prefix) << " " << Utf16ToUtf8(code)
              << " " << Utf16ToUtf8(token) << " " << Utf16ToUtf8(name) << " " << number << " (result "
              << result << ")\n";
  }
  // the release of this host, and the plug-in's fixed registration stamp, which no release changes
  std::cout << "release        " << TUMELIN_VERSION_STRING << " (tumelin-host)\n";
  std::cout << "version stamp  " << FormatStamp(stamp) << " (" << FormatDouble(stamp)
            << ", registration data, fixed)\n";
  // ClothMethod's values, as the header names them
  std::cout << "integrators   ";
  for (int32_t method = 0; method < TUMELIN_METHOD_COUNT; ++method)
    std::cout << (method == 0 ? " " : ", ") << method << " " << TumelinMethodName(method);
  std::cout << "\n";
  return 0;
}

}  // namespace

CommandAction DefineInfoCommand(CLI::App* app) {
  app->add_subcommand("info",
                      "show the display name, registration strings, release, version stamp and integrators");
  return Info;
}

}  // namespace tumelin
