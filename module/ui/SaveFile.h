// What saving a transcript needs of the system: the text in UTF-8, and a file written
// whole or not at all. Win32 in SaveFile_win32.cpp, POSIX (the native build) in
// SaveFile_posix.cpp. Paths are UTF-8.
#pragma once

#include <string>

// text, in the code page the plug-in's windows use (the ANSI code page on Windows,
// UTF-8 natively), converted to UTF-8.
std::string Utf8FromCodePage(const std::string& text);

// Writes bytes under a temporary name in path's folder, then puts that file in path's
// place (replacing a file there). On failure nothing is left behind, an existing file
// at path is unchanged, and error holds the system's message with its error number.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& error);
