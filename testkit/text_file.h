// Whole files as text, for harnesses that hand devhost processes their scripts and
// read back what they wrote (the end-to-end tests and the relay benchmark).
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// The file's bytes, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Replaces the file with text; false when it could not be written.
inline bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
    return static_cast<bool>(f);
}

} // namespace testsupport
