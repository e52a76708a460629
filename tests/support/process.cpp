#include "support/process.h"
#include "support/testhost.h"

ProcessRun RunProcess(const std::string& commandLine, const char* szFolder, DWORD dwTimeoutMs) {
    ProcessRun run;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return run;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, szFolder, &si, &pi);
    CloseHandle(hWrite);
    if (!ok) {
        CloseHandle(hRead);
        run.out = "<cannot start>";
        return run;
    }
    char buf[4096];
    DWORD n;
    while (ReadFile(hRead, buf, sizeof(buf), &n, nullptr) && n) run.out.append(buf, n);
    WaitForSingleObject(pi.hProcess, dwTimeoutMs);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(hRead);
    return run;
}

ProcessRun RunDockhost(const std::string& args) {
    std::string folder = BuildPath("dock\\");
    return RunProcess("\"" + folder + "dockhost.exe\" " + args, folder.c_str());
}
