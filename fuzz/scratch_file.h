#pragma once

#include "fuzz_check.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

/// A file that programs open by name but that no directory lists: it is removed as soon as it is
/// made and reached through /proc/self/fd, so nothing stays behind however a run ends.
class ScratchFile final
{
public:
    explicit ScratchFile(const std::string &content = std::string())
    {
        char name[] = "/tmp/pw-fuzz-XXXXXX";
        m_fd = ::mkstemp(name);
        fuzzCheck(m_fd >= 0 && ::unlink(name) == 0, "a scratch file is made");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
        write(content.data(), content.size());
    }
    ~ScratchFile() { ::close(m_fd); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    const std::string &path() const { return m_path; }

    /// Replaces the file's content.
    void write(const void *data, std::size_t size)
    {
        fuzzCheck(::ftruncate(m_fd, 0) == 0 &&
                      ::pwrite(m_fd, data, size, 0) == static_cast<ssize_t>(size),
                  "the scratch file is written");
    }

private:
    int m_fd = -1;
    std::string m_path;
};
