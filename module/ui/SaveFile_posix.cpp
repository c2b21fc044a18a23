// Saving natively: the text is UTF-8 already, and the file is written beside its target
// and renamed into place.
#include "module/ui/SaveFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr int kTemporaryNameTries = 16;
constexpr mode_t kFileMode = 0644;

std::string DescribeError(int code) {
    return std::string(std::strerror(code)) + " (error " + std::to_string(code) + ")";
}

bool WriteAll(int file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return ::fsync(file) == 0;
}

} // namespace

std::string Utf8FromCodePage(const std::string& text) {
    return text;
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& error) {
    std::string temporary;
    int file = -1;
    int failure = 0;
    for (int attempt = 0; attempt < kTemporaryNameTries && file < 0; ++attempt) {
        temporary =
            path + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
        failure = errno;
        if (file < 0 && failure != EEXIST) break;
    }
    if (file < 0) {
        error = DescribeError(failure);
        return false;
    }
    const bool written = WriteAll(file, bytes);
    failure = written ? 0 : errno;
    if (::close(file) != 0 && written) failure = errno;
    if (written && failure == 0 && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    if (failure == 0) failure = errno;
    ::unlink(temporary.c_str());
    error = DescribeError(failure);
    return false;
}
