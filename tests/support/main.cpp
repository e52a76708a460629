// The test runner's entry: GDI+ and OLE are started once for the process, as the dock
// has them, and messages are captured instead of shown. The local application data
// folder is one of the run's own (programs the tests start inherit it), so feeds' state
// files of one run never meet another's.
#include <gtest/gtest.h>
#include <ole2.h>
#include <shellapi.h>
#include <string>
#include "core/gdiplus.h"
#include "core/record.h"
#include "app/instance.h"
#include "support/testhost.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::string appData = MakeTempFolder("appdata");
    appData.pop_back();  // without its trailing backslash, as the variable holds it
    SetEnvironmentVariableA("LOCALAPPDATA", appData.c_str());
    OleInitialize(nullptr);
    StartGdiplus(nullptr);
    CaptureMessages();
    int rc = RUN_ALL_TESTS();
    ResetHost();
    StopGdiplus();
    OleUninitialize();
    std::string from = appData + std::string(2, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationA(&op);
    return rc;
}
