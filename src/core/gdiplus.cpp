#include "core/gdiplus.h"
#include "core/record.h"

namespace {

ULONG_PTR g_gdiplusToken = 0;
int g_iGdiplusUsers = 0;

}  // namespace

bool StartGdiplus(int* piStatus) {
    qm::ScopedLock lock(ProcessLock());
    int iStatus = 0;
    if (g_iGdiplusUsers == 0) {
        Gdiplus::GdiplusStartupInput input;
        iStatus = static_cast<int>(Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr));
    }
    if (iStatus == 0) ++g_iGdiplusUsers;
    if (piStatus) *piStatus = iStatus;
    return iStatus == 0;
}

void StopGdiplus() {
    qm::ScopedLock lock(ProcessLock());
    if (g_iGdiplusUsers > 0 && --g_iGdiplusUsers == 0) {
        Gdiplus::GdiplusShutdown(g_gdiplusToken);
        g_gdiplusToken = 0;
    }
}
