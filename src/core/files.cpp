#include "core/files.h"
#include "core/unique.h"

namespace {

bool Fail(DWORD* pdwError, DWORD dwError) {
    if (pdwError) *pdwError = dwError ? dwError : ERROR_GEN_FAILURE;
    return false;
}

bool WriteNewContent(const wchar_t* szPath, DWORD dwDisposition, const std::string& bytes) {
    qm::UniqueFileHandle hFile(
        CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile) return false;
    DWORD cbWritten = 0;
    if (!bytes.empty() && (!WriteFile(hFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten,
                                      nullptr) ||
                           cbWritten != bytes.size()))
        return false;
    return FlushFileBuffers(hFile.get()) != FALSE;
}

}  // namespace

bool ReadWholeFile(const wchar_t* szPath, std::string& bytes, size_t cbMax, DWORD* pdwError) {
    bytes.clear();
    qm::UniqueFileHandle hFile(CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile) return Fail(pdwError, GetLastError());
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(hFile.get(), &size)) return Fail(pdwError, GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > cbMax) return Fail(pdwError, ERROR_FILE_TOO_LARGE);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD cbRead = 0;
    if (!bytes.empty() &&
        (!ReadFile(hFile.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &cbRead, nullptr) ||
         cbRead != bytes.size())) {
        DWORD dwError = GetLastError();
        bytes.clear();
        return Fail(pdwError, dwError ? dwError : ERROR_HANDLE_EOF);
    }
    return true;
}

bool ReplaceWholeFile(const wchar_t* szPath, const std::string& bytes, DWORD* pdwError) {
    DWORD dwAttributes = GetFileAttributesW(szPath);
    const DWORD dwRefused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & dwRefused))
        return Fail(pdwError, ERROR_ACCESS_DENIED);
    // The new file is made in the same folder, so moving it over the old one is a rename.
    std::wstring folder(szPath);
    size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash + 1);
    wchar_t szTemp[MAX_PATH + 1] = {};
    if (folder.size() < MAX_PATH - 14 && GetTempFileNameW(folder.c_str(), L"qm", 0, szTemp)) {
        if (WriteNewContent(szTemp, CREATE_ALWAYS, bytes) &&
            MoveFileExW(szTemp, szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD dwError = GetLastError();
        DeleteFileW(szTemp);
        return Fail(pdwError, dwError);
    }
    if (WriteNewContent(szPath, CREATE_ALWAYS, bytes)) return true;
    return Fail(pdwError, GetLastError());
}
