// Runs one of the project's programs as a separate process, as a user or a script runs it.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

struct ProcessRun {
    std::string out;  // standard output and standard error together
    DWORD exitCode = 0xFFFFFFFF;
};

// Called with the running process and the number of whole output lines so far, each
// time a line is complete.
typedef std::function<void(HANDLE hProcess, size_t cLines)> LineObserver;

// Starts commandLine in szFolder (null: this process's folder) and collects its output
// (with its standard error when bWithStderr) until it ends, at most dwTimeoutMs; a
// process still running then is ended. "<cannot start>" in out when the process could
// not be started.
ProcessRun RunProcess(const std::string& commandLine, const char* szFolder, DWORD dwTimeoutMs = 60000,
                      const LineObserver& onLine = nullptr, bool bWithStderr = true);

// Runs build\dock\dockhost.exe from the dock folder with the arguments.
ProcessRun RunDockhost(const std::string& args);
