#include "progress.h"

#ifdef _WIN32
#include <io.h>
#define TUMELIN_ISATTY(fd) _isatty(fd)
#define TUMELIN_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define TUMELIN_ISATTY(fd) isatty(fd)
#define TUMELIN_FILENO(f) fileno(f)
#endif

namespace tumelin {

bool IsTerminal(FILE* stream) { return TUMELIN_ISATTY(TUMELIN_FILENO(stream)) != 0; }

std::string StepBar(int64_t done, int64_t total) {
  const int width = 40;
  const int filled = total > 0 ? static_cast<int>(width * done / total) : width;
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(width - filled), '.') + "] " +
         std::to_string(total > 0 ? 100 * done / total : 100) + "%  step " + std::to_string(done) + "/" +
         std::to_string(total);
}
}  // namespace tumelin
