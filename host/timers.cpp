#include "timers.h"
#include <cstring>

namespace {

TimerReport g_pfnReport = nullptr;
decltype(&SetTimer) g_pfnSetTimer = nullptr;

UINT_PTR WINAPI ReportingSetTimer(HWND hwnd, UINT_PTR idTimer, UINT uElapse, TIMERPROC pfnTimer) {
    if (g_pfnReport) g_pfnReport(hwnd, idTimer, uElapse);
    return g_pfnSetTimer(hwnd, idTimer, uElapse, pfnTimer);
}

}  // namespace

bool WatchModuleTimers(HMODULE hModule, TimerReport pfnReport) {
    auto* base = reinterpret_cast<BYTE*>(hModule);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return false;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), "user32.dll") != 0 || !imp->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), "SetTimer") != 0) continue;
            g_pfnReport = pfnReport;
            g_pfnSetTimer = reinterpret_cast<decltype(&SetTimer)>(slots->u1.Function);
            DWORD dwOld;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &dwOld)) return false;
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&ReportingSetTimer);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), dwOld, &dwOld);
            return true;
        }
    }
    return false;
}
