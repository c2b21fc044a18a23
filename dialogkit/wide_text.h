// Paths and texts cross dialogkit as UTF-8; the wide Win32 calls take UTF-16. These
// convert at that border, and give a path the form that the wide file calls accept
// past MAX_PATH. Windows builds only: the Win32 back end and the module's own Win32
// code (saving a file) share them.
#pragma once

#include <windows.h>

#include <string>

namespace dk {

// text in codePage (CP_ACP: the ANSI code page the windows use) as UTF-16.
inline std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

inline std::wstring WideFromUtf8(const std::string& text) {
    return WideFromCodePage(text, CP_UTF8);
}

inline std::string Utf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], length, nullptr, nullptr);
    return text;
}

// A full path of MAX_PATH characters or more gets the "\\?\" prefix, without which
// the wide file calls refuse it; shorter or already prefixed paths stay as they are.
inline std::wstring LongPathForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// "\\?\C:\x" -> "C:\x" and "\\?\UNC\server\x" -> "\\server\x": the form a user reads
// and the shell opens.
inline std::wstring WithoutLongPathPrefix(std::wstring path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

} // namespace dk
