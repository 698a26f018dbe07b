#include "tools/process_stats.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

#include "toolkit/handles.h"

namespace procstats {

namespace {

struct HandleEntry {
  USHORT ProcessId;
  USHORT CreatorBackTraceIndex;
  UCHAR ObjectTypeIndex;
  UCHAR HandleAttributes;
  USHORT HandleValue;
  PVOID Object;
  ULONG GrantedAccess;
};

struct HandleTable {
  ULONG Count;
  HandleEntry Entries[1];
};

using QueryProc = LONG(NTAPI*)(ULONG infoClass, PVOID buffer, ULONG length, PULONG returned);

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
  ++*reinterpret_cast<long*>(counter);
  return TRUE;
}

BOOL CALLBACK CountTop(HWND wnd, LPARAM counter) {
  ++*reinterpret_cast<long*>(counter);
  EnumChildWindows(wnd, &CountChild, counter);
  return TRUE;
}

}  // namespace

long CountProcessHandles() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query =
      ntdll ? reinterpret_cast<QueryProc>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
            : nullptr;
  if (!query) return -1;
  constexpr ULONG SystemHandleInformation = 16;
  constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<unsigned char> buf(1 << 16);
  for (int attempt = 0; attempt < 16; ++attempt) {
    ULONG needed = 0;
    LONG status = query(SystemHandleInformation, buf.data(), static_cast<ULONG>(buf.size()), &needed);
    if (status == InfoLengthMismatch) {
      buf.resize(std::max<size_t>(buf.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) return -1;
    auto* table = reinterpret_cast<HandleTable*>(buf.data());
    USHORT pid = static_cast<USHORT>(GetCurrentProcessId());
    long n = 0;
    for (ULONG i = 0; i < table->Count; ++i)
      if (table->Entries[i].ProcessId == pid) ++n;
    return n;
  }
  return -1;
}

long CountThreadWindows() {
  long n = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountTop, reinterpret_cast<LPARAM>(&n));
  return n;
}

long CountProcessThreads() {
  kol::KernelHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap) return -1;
  THREADENTRY32 te = {};
  te.dwSize = sizeof te;
  const DWORD self = GetCurrentProcessId();
  long n = 0;
  for (BOOL ok = Thread32First(snap.get(), &te); ok; ok = Thread32Next(snap.get(), &te))
    n += te.th32OwnerProcessID == self;
  return n;
}

long CountGdiObjects() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return long(n);
  // Every slot of the table, named by its index alone (the upper half of a
  // handle, its type and generation, left zero).
  constexpr UINT_PTR TableSlots = 0x10000;
  long n = 0;
  for (UINT_PTR slot = 1; slot < TableSlots; ++slot)
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++n;
  return n;
}

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc) &&
      pmc.PrivateUsage != 0)
    return pmc.PrivateUsage;
  // Walk the address space when the counter is not kept.
  size_t total = 0;
  MEMORY_BASIC_INFORMATION mbi;
  const char* p = nullptr;
  while (VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
    if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
    const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
    if (next <= p) break;
    p = next;
  }
  return total;
}

}  // namespace procstats
