#include "soak.h"
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <vector>
#include "console.h"
#include "icons.h"
#include "refreshwatch.h"
#include "script.h"

namespace {

// The item menu's entries the soak chooses: Update Now, the first item.
const int c_idUpdateNow = 2, c_idFirstItem = 100;
// The dock's menu entry of the settings.
const int c_idSettings = 1;

// The process's handles. Windows reports them directly; Wine answers
// GetProcessHandleCount with 0, so the soak then counts for itself in the system's
// handle list.
DWORD CountHandles() {
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount) return dwCount;
    typedef LONG(WINAPI * PFN_NtQuerySystemInformation)(ULONG, void*, ULONG, ULONG*);
    auto pfn = reinterpret_cast<PFN_NtQuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!pfn) return 0;
    struct HandleEntry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 20);
    ULONG cb = 0;
    LONG status;
    const ULONG SystemHandleInformation = 16;
    const LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004L);
    while ((status = pfn(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &cb)) ==
               STATUS_INFO_LENGTH_MISMATCH &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    ULONG n = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    for (ULONG i = 0; i < n; ++i)
        if (entries[i].pid == GetCurrentProcessId()) ++dwCount;
    return dwCount;
}

// GDI or USER objects. Wine answers GetGuiResources with 0; the live objects are then
// found by trying every handle index, which Wine accepts without the handle's upper half.
DWORD CountGuiObjects(DWORD dwFlags) {
    if (DWORD dw = GetGuiResources(GetCurrentProcess(), dwFlags)) return dw;
    DWORD dwCount = 0;
    if (dwFlags == GR_GDIOBJECTS) {
        for (ULONG_PTR i = 1; i < 0x10000; ++i)
            if (GetObjectType(reinterpret_cast<HGDIOBJ>(i))) ++dwCount;
        return dwCount;
    }
    // USER handles step by two from 0x20; windows are shared by all processes.
    for (ULONG_PTR i = 0x20; i < 0x10000; i += 2) {
        if (IsMenu(reinterpret_cast<HMENU>(i))) {
            ++dwCount;
            continue;
        }
        DWORD pid = 0;
        HWND hwnd = reinterpret_cast<HWND>(i);
        if (IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId()) ++dwCount;
    }
    return dwCount;
}

void PrintResources() {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
    // Private bytes; the page-file share is the same figure where PrivateUsage is missing.
    SIZE_T cbPrivate = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    char sz[200];
    snprintf(sz, sizeof(sz), "resources: private_kb=%lu handles=%lu gdi=%lu user=%lu\n",
             static_cast<unsigned long>(cbPrivate / 1024), static_cast<unsigned long>(CountHandles()),
             static_cast<unsigned long>(CountGuiObjects(GR_GDIOBJECTS)),
             static_cast<unsigned long>(CountGuiObjects(GR_USEROBJECTS)));
    Print(sz);
}

}  // namespace

void Soak(Icon* p, int cycles) {
    for (int i = 0; i < cycles && p->pData; ++i) {
        MarkRefresh();
        ScriptedClick(p, CLICK_LEFT, c_idUpdateNow);
        if (!PumpUntil(c_dwRefreshWaitMs, [] { return RefreshOver(true); }))
            Print("soak: cycle " + std::to_string(i + 1) + ": the refresh did not end\n");
        PumpPosted();
        ScriptedClick(p, CLICK_LEFT, 0);
        ScriptedClick(p, CLICK_LEFT, c_idFirstItem);
        ScriptedClick(p, CLICK_DOCK, c_idSettings);
        PumpPosted();
        if (i == 0 || i == cycles - 1) PrintResources();
    }
}
