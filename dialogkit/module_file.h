// Where dialogkit lives: the module file (DLL, shared object or executable) that
// it is linked into. Its resources and its base name belong to that module, not to
// the process's executable. Paths are UTF-8 on every platform, so that a folder name
// outside the Windows ANSI code page survives.
#pragma once

#include <string>

namespace dk {

// The module file's full path, or "" when the platform cannot tell.
std::string ModulePath();

// True when `path` names an existing file (not a folder), at any length.
bool FileExists(const std::string& path);

// The module file's name without folder and extension ("Volubra").
std::string ModuleBaseName();

// Strips folders and the last extension from a path ("C:\\x\\Volubra.qrv" -> "Volubra").
std::string BaseNameOf(const std::string& path);

} // namespace dk
