// The exit statuses of tumelin-host, which the help's footer and the README
// list, and which a sweep reads back from its runs.
#pragma once

namespace tumelin {

inline constexpr int kExitFailure = 1;   // a failure while running: a file that cannot be written
inline constexpr int kExitUsage = 2;     // bad input: options, INI values, mesh files, the plug-in file
inline constexpr int kExitProblems = 3;  // check found problems or warnings; some runs of a sweep failed
inline constexpr int kExitDiverged = 4;  // the run diverged; nothing was written

inline constexpr const char* kExitStatuses =
    "Exit status: 0 done; 1 a failure while running (a file that cannot be written); 2 bad input "
    "(options, INI values, a mesh file, the plug-in file); 3 check found problems or warnings, or some of a "
    "sweep's runs failed; 4 the run diverged: the membrane's state turned non-finite or flew apart (nothing "
    "written); 130 (143 for SIGTERM) interrupted, the command's files removed.";

}  // namespace tumelin
