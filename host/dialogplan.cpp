#include "dialogplan.h"
#include <algorithm>

namespace {

// Whether a - b >= 0 on the tick counter, which wraps.
bool AtOrAfter(DWORD a, DWORD b) {
    return static_cast<LONG>(a - b) >= 0;
}

bool IsCovered(const std::vector<TrackedDialog>& tracked, size_t i) {
    for (size_t j = i + 1; j < tracked.size(); ++j)
        if (tracked[j].threadId == tracked[i].threadId) return true;
    return false;
}

}  // namespace

std::vector<DialogAction> PlanDialogs(std::vector<TrackedDialog>& tracked, const std::vector<ShownDialog>& shown,
                                      DWORD dwNow, DWORD dwDialogMs) {
    std::vector<DialogAction> actions;
    // Gone dialogs are forgotten; a handle that comes back later is a new dialog.
    tracked.erase(std::remove_if(tracked.begin(), tracked.end(),
                                 [&](const TrackedDialog& t) {
                                     return std::none_of(shown.begin(), shown.end(),
                                                         [&](const ShownDialog& s) { return s.hwnd == t.hwnd; });
                                 }),
                  tracked.end());
    // New ones bottom first: of two that appeared between looks, the upper one is newer.
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        if (std::any_of(tracked.begin(), tracked.end(), [&](const TrackedDialog& t) { return t.hwnd == it->hwnd; }))
            continue;
        DWORD dwDue = dwNow + (it->bMessageBox ? 0 : dwDialogMs);
        tracked.push_back({it->hwnd, it->threadId, it->bMessageBox, dwDue, false, false, 0, dwNow, dwNow});
        actions.push_back({it->hwnd, STEP_REPORT});
    }
    for (size_t i = 0; i < tracked.size(); ++i) {
        TrackedDialog& t = tracked[i];
        DWORD dwSinceLook = dwNow - t.dwLastLook;
        t.dwLastLook = dwNow;
        if (IsCovered(tracked, i)) {
            t.bCovered = true;
            continue;
        }
        // Back on top: its time starts again.
        if (t.bCovered && !t.bMessageBox) t.dwDue = dwNow + dwDialogMs;
        t.bCovered = false;
        if (!t.bAsked) {
            if (!AtOrAfter(dwNow, t.dwDue)) continue;
            t.bAsked = true;
            t.dwLastAsk = dwNow;
            actions.push_back({t.hwnd, STEP_CLOSE});
            continue;
        }
        t.dwAskedMs += dwSinceLook;
        if (t.dwAskedMs >= c_dwCloseLimitMs) {
            actions.push_back({t.hwnd, STEP_GIVE_UP});
        } else if (dwNow - t.dwLastAsk >= c_dwAskAgainMs) {
            t.dwLastAsk = dwNow;
            actions.push_back({t.hwnd, STEP_CANCEL});
        }
    }
    return actions;
}

void RestartDialogTime(std::vector<TrackedDialog>& tracked, HWND hwnd, DWORD dwNow, DWORD dwDialogMs) {
    for (TrackedDialog& t : tracked)
        if (t.hwnd == hwnd && !t.bAsked) t.dwDue = dwNow + dwDialogMs;
}

HWND NewestDialog(const std::vector<TrackedDialog>& tracked) {
    return tracked.empty() ? nullptr : tracked.back().hwnd;
}

std::wstring ShownText(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&') {
            if (i + 1 >= text.size() || text[i + 1] != L'&') continue;
            ++i;
        }
        out += text[i];
    }
    return out;
}

bool SameText(const std::wstring& control, const std::wstring& press) {
    return press == control || press == ShownText(control);
}
