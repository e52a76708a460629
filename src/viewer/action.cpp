#include "viewer/action.h"
#include <shellapi.h>
#include <cwchar>
#include "core/host.h"
#include "core/record.h"
#include "presentation/icon.h"
#include "viewer/viewer.h"

#include "resources/viewer_ids.h"

namespace {

void LaunchThroughShell(HWND hwndOwner, const ItemLaunch& launch) {
    if (launch.iKind == ITEM_LAUNCH_SHELL)
        ShellExecuteW(hwndOwner, nullptr, launch.strFile.c_str(), nullptr, nullptr, SW_SHOW);
    else if (launch.iKind == ITEM_LAUNCH_APPLICATION)
        RunApplication(launch.strFile.c_str(), launch.strParameters.c_str());
}

ItemLauncher g_pfnLauncher = LaunchThroughShell;

bool StartsWithNoCase(const wchar_t* sz, const wchar_t* szPrefix) {
    return _wcsnicmp(sz, szPrefix, wcslen(szPrefix)) == 0;
}

}  // namespace

bool IsWebAddress(const wchar_t* szLink) {
    if (!szLink) return false;
    const wchar_t* pHost = nullptr;
    if (StartsWithNoCase(szLink, L"http://"))
        pHost = szLink + 7;
    else if (StartsWithNoCase(szLink, L"https://"))
        pHost = szLink + 8;
    else
        return false;
    if (*pHost == 0 || *pHost == L'/' || *pHost == L'\\') return false;
    for (const wchar_t* p = szLink; *p; ++p)
        if (*p < 0x20 || *p == 0x7F) return false;
    return true;
}

std::wstring QuoteArgument(const wchar_t* szArgument) {
    std::wstring out = L"\"";
    size_t cBackslashes = 0;
    for (const wchar_t* p = szArgument ? szArgument : L""; *p; ++p) {
        if (*p == L'"') {
            out += L"%22";
            cBackslashes = 0;
            continue;
        }
        cBackslashes = (*p == L'\\') ? cBackslashes + 1 : 0;
        out += *p;
    }
    out.append(cBackslashes, L'\\');
    out += L'"';
    return out;
}

ItemLaunch PlanItemAction(_DOCKLET_DATA* pData) {
    ItemLaunch launch;
    if (!pData || (pData->iViewMode != 0 && pData->iViewMode != 1)) return launch;
    if (pData->iItemAction == ITEM_ACTION_VIEWER) {
        launch.iKind = ITEM_LAUNCH_VIEWER;
        return launch;
    }
    if (pData->iItemAction != ITEM_ACTION_BROWSER && pData->iItemAction != ITEM_ACTION_APPLICATION) return launch;

    std::wstring strTarget;
    bool bFromFeed = false;
    {
        qm::ScopedLock lock(pData->csState);
        if (pData->iViewMode == 0) {
            if (pData->iCurrentProfile >= 0 &&
                static_cast<unsigned int>(pData->iCurrentProfile) < pData->profiles.GetCount())
                strTarget = pData->profiles.GetAt(pData->iCurrentProfile)->szURL;
        } else if (pData->iCurrentItem >= 0 &&
                   static_cast<unsigned int>(pData->iCurrentItem) < pData->items.GetCount()) {
            strTarget = pData->items.GetAt(pData->iCurrentItem)->szLink;
            bFromFeed = true;
        }
    }
    if (strTarget.empty()) return launch;
    // A link chosen by the feed could name a program, a share or a script address;
    // only web addresses leave the docklet.
    if (bFromFeed && !IsWebAddress(strTarget.c_str())) return launch;

    if (pData->iItemAction == ITEM_ACTION_BROWSER) {
        launch.iKind = ITEM_LAUNCH_SHELL;
        launch.strFile = strTarget;
    } else {
        if (!pData->szApplication[0]) return launch;
        launch.iKind = ITEM_LAUNCH_APPLICATION;
        launch.strFile = pData->szApplication;
        // The feed's link goes in as one argument so it cannot add arguments of its own.
        launch.strParameters = bFromFeed ? QuoteArgument(strTarget.c_str()) : strTarget;
    }
    return launch;
}

bool OpenWebAddress(HWND hwndOwner, const wchar_t* szURL) {
    if (!IsWebAddress(szURL)) return false;
    ItemLaunch launch;
    launch.iKind = ITEM_LAUNCH_SHELL;
    launch.strFile = szURL;
    g_pfnLauncher(hwndOwner, launch);
    return true;
}

ItemLauncher SetItemLauncher(ItemLauncher pfn) {
    ItemLauncher pfnOld = g_pfnLauncher;
    g_pfnLauncher = pfn ? pfn : LaunchThroughShell;
    return pfnOld;
}

void DoItemAction(_DOCKLET_DATA* pData) {
    if (!pData) return;
    UpdateDockDisplay(pData);
    ItemLaunch launch;
    try {
        launch = PlanItemAction(pData);
    } catch (...) {
        return;
    }
    switch (launch.iKind) {
    case ITEM_LAUNCH_VIEWER:
        if (pData->hwndViewer) {
            // A second pick while the viewer is open closes it and opens nothing.
            SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
            return;
        }
        // The instance may be destroyed from inside the viewer's modal loop (the host's
        // calls arrive through it); this reference keeps the record's memory valid for
        // the callers still on the stack until the loop has unwound.
        {
            DockletRef ref(pData);
            DialogBoxParamW(pData->hInstance, MAKEINTRESOURCEW(IDD_VIEWER), pData->hwndDocklet, ViewerDlgProc,
                            reinterpret_cast<LPARAM>(pData));
        }
        break;
    case ITEM_LAUNCH_SHELL:
    case ITEM_LAUNCH_APPLICATION:
        g_pfnLauncher(pData->hwndDocklet, launch);
        HostDoAttentionAnimation(pData->hwndDocklet);
        break;
    case ITEM_LAUNCH_NONE:
        break;
    }
}

void RunApplication(const wchar_t* szApplication, const wchar_t* szParameters) {
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_DOENVSUBST;
    sei.lpFile = szApplication;
    sei.lpParameters = szParameters;
    sei.nShow = SW_SHOW;
    ShellExecuteExW(&sei);
}
