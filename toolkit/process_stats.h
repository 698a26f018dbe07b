// What the process holds right now, for leak tests and the host simulator.
// Wine answers 0 to GetGuiResources and GetProcessHandleCount, so these are
// counted from sources that it does fill in.
#pragma once

#include <cstddef>

namespace kol {

// Kernel handles of this process, from the system handle table
// (NtQuerySystemInformation, SystemHandleInformation); -1 when unavailable.
long CountProcessHandles();
// Windows of the calling thread: its top-level windows and all their
// descendants.
long CountThreadWindows();
// Committed private memory of the process in bytes.
size_t PrivateBytes();

}  // namespace kol
