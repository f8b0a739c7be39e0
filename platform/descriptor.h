#pragma once

#include <unistd.h>
#include <utility>

namespace platform {

// An open file descriptor, closed when it goes; moved, never copied.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd(fd)
    {
    }
    Descriptor(Descriptor&& other) noexcept
        : fd(std::exchange(other.fd, -1))
    {
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    int get() const { return fd; }

private:
    int fd;
};

} // namespace platform
