// The common Save As dialog, and the user's Documents folder it starts in. On Win32
// the real GetSaveFileNameW, which asks before replacing an existing file; headless
// there is nobody to answer and it is cancelled. A driver (dialogkit's testing library)
// may take the dialog first and answer it. Paths are UTF-8.
#pragma once

#include "dialogkit/window.h"

#include <optional>
#include <string>

namespace dk {

struct SaveAsRequest {
    std::string folder;    // where the dialog starts; empty: the system's choice
    std::string fileName;  // the name proposed
    std::string typeName;  // "Text files"
    std::string extension; // "txt": the filter "*.txt" and the name's default ending
};

// The path the user chose, or nothing when the dialog was cancelled or failed.
std::optional<std::string> AskSaveAsPath(WindowHandle owner, const SaveAsRequest& request);

// The user's Documents folder, empty when it is not known.
std::string DocumentsFolder();

} // namespace dk
