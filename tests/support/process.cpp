#include "support/process.h"
#include "support/testhost.h"

ProcessRun RunProcess(const std::string& commandLine, const char* szFolder, DWORD dwTimeoutMs,
                      const LineObserver& onLine, bool bWithStderr) {
    ProcessRun run;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return run;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = bWithStderr ? hWrite : GetStdHandle(STD_ERROR_HANDLE);
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
    // The pipe is polled rather than read blindly, so a process that hangs without
    // closing its output cannot hold the test past its time limit.
    DWORD dwStart = GetTickCount();
    size_t cLines = 0;
    char buf[65536];
    for (;;) {
        DWORD cbAvail = 0;
        if (!PeekNamedPipe(hRead, nullptr, 0, nullptr, &cbAvail, nullptr)) break;  // closed: the process ended
        if (cbAvail == 0) {
            if (GetTickCount() - dwStart > dwTimeoutMs) break;
            Sleep(5);
            continue;
        }
        DWORD cb = 0;
        if (!ReadFile(hRead, buf, sizeof(buf), &cb, nullptr) || cb == 0) break;
        size_t from = run.out.size();
        run.out.append(buf, cb);
        for (size_t i = from; i < run.out.size(); ++i)
            if (run.out[i] == '\n' && onLine) onLine(pi.hProcess, ++cLines);
    }
    if (WaitForSingleObject(pi.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
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
