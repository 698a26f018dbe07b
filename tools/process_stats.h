// What the process holds right now, for leak tests and the host simulator.
// Wine answers 0 to GetGuiResources and GetProcessHandleCount, so these are
// counted from sources that it does fill in.
#pragma once

#include <cstddef>

namespace procstats {

// Kernel handles of this process, from the system handle table
// (NtQuerySystemInformation, SystemHandleInformation); -1 when unavailable.
long CountProcessHandles();
// Windows of the calling thread: its top-level windows and all their
// descendants.
long CountThreadWindows();
// Threads of this process, from a system snapshot; -1 when unavailable.
long CountProcessThreads();
// Graphics objects of this process (bitmaps, brushes, fonts, device
// contexts...): the system's own count, or where it answers 0, the live
// slots of the graphics handle table, which Wine finds by slot index.
long CountGdiObjects();
// Committed private memory of the process in bytes.
size_t PrivateBytes();

}  // namespace procstats
