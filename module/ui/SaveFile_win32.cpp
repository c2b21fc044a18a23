// Saving on Win32: MultiByteToWideChar from the ANSI code page, and a file written
// beside its target and moved into place with MoveFileExW.
#include "module/ui/SaveFile.h"

#include "dialogkit/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

// Writes go out in pieces a 32-bit WriteFile count takes comfortably.
constexpr DWORD kWriteChunk = 1 << 20;
// Temporary names tried before giving up: another save may hold the first.
constexpr int kTemporaryNameTries = 16;

// "Access denied. (error 5)": the system's sentence for the error and its number.
std::string DescribeError(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    std::string text = dk::Utf8FromWide(message);
    if (!text.empty()) text += ' ';
    return text + "(error " + std::to_string(code) + ")";
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD piece =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kWriteChunk));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return ::FlushFileBuffers(file) != FALSE;
}

} // namespace

std::string Utf8FromCodePage(const std::string& text) {
    return dk::Utf8FromWide(dk::WideFromCodePage(text, CP_ACP));
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& error) {
    const std::wstring target = dk::WideFromUtf8(path);
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD failure = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kTemporaryNameTries && file == INVALID_HANDLE_VALUE;
         ++attempt) {
        temporary = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(attempt) + L".tmp";
        file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        failure = ::GetLastError();
        if (file == INVALID_HANDLE_VALUE && failure != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = DescribeError(failure);
        return false;
    }
    const bool written = WriteAll(file, bytes);
    failure = written ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(file);
    if (written && ::MoveFileExW(temporary.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (written) failure = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    error = DescribeError(failure);
    return false;
}
