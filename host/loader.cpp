#include "loader.h"
#include <cstdio>
#include <cstring>

DockletEntries g_docklet;

namespace {

template <typename T>
bool Resolve(T& fn, const char* szName) {
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_docklet.hModule, szName)));
    if (!fn) fprintf(stderr, "dockhost: quillmere.dll lacks %s\n", szName);
    return fn != nullptr;
}

}  // namespace

bool LoadDocklet(const std::string& folder) {
    std::string path = folder + "quillmere.dll";
    g_docklet.hModule = LoadLibraryA(path.c_str());
    if (!g_docklet.hModule) {
        fprintf(stderr, "dockhost: cannot load %s (%lu)\n", path.c_str(), GetLastError());
        return false;
    }
    DockletEntries& e = g_docklet;
    return Resolve(e.OnCreate, "OnCreate") && Resolve(e.OnDestroy, "OnDestroy") && Resolve(e.OnSave, "OnSave") &&
           Resolve(e.OnProcessMessage, "OnProcessMessage") && Resolve(e.OnLeftButtonClick, "OnLeftButtonClick") &&
           Resolve(e.OnRightButtonClick, "OnRightButtonClick") && Resolve(e.OnConfigure, "OnConfigure") &&
           Resolve(e.OnAbout, "OnAbout");
}

void UnloadDocklet() {
    if (g_docklet.hModule) FreeLibrary(g_docklet.hModule);
    g_docklet = DockletEntries();
}

// The name is shortened by one character in the export table, which stays sorted.
void HideHostExport(const std::string& name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!dir.VirtualAddress) return;
    auto* exp = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
        char* sz = reinterpret_cast<char*>(base + names[i]);
        if (name != sz) continue;
        DWORD dwOld;
        size_t len = strlen(sz);
        VirtualProtect(sz, len, PAGE_READWRITE, &dwOld);
        sz[len - 1] = 0;
        VirtualProtect(sz, len, dwOld, &dwOld);
    }
}
