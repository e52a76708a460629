// The test runner's entry: GDI+ and OLE are started once for the process, as the dock
// has them, and messages are captured instead of shown.
#include <gtest/gtest.h>
#include <ole2.h>
#include "core/gdiplus.h"
#include "core/record.h"
#include "app/instance.h"
#include "support/testhost.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    StartGdiplus(nullptr);
    CaptureMessages();
    int rc = RUN_ALL_TESTS();
    ResetHost();
    StopGdiplus();
    OleUninitialize();
    return rc;
}
