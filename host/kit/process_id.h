// Process ids, which name the temporary files of a process so that what a
// killed one left can be told from what a running one is writing.
#pragma once

namespace tumelin {

// this process's id, and whether a process of that id is running
long OwnProcessId();
bool ProcessRunning(long pid);

}  // namespace tumelin
