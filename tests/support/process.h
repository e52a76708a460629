// Runs one of the project's programs as a separate process, as a user or a script runs it.
#pragma once
#include <windows.h>
#include <string>

struct ProcessRun {
    std::string out;  // standard output and standard error together
    DWORD exitCode = 0xFFFFFFFF;
};

// Starts szCommandLine in szFolder (null: this process's folder), collects its output
// until it ends and waits up to dwTimeoutMs for its exit code. "<cannot start>" in out
// when the process could not be started.
ProcessRun RunProcess(const std::string& commandLine, const char* szFolder, DWORD dwTimeoutMs = 60000);

// Runs build\dock\dockhost.exe from the dock folder with the arguments.
ProcessRun RunDockhost(const std::string& args);
