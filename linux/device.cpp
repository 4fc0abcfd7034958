// Printer devices through the kernel's USB printer class driver and ppdev.
#include "device.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

// The USB printer class driver's device ID request. The driver defines it in its own source, not
// in an exported header: a read of up to `len` bytes, type 'P', number 1.
#ifndef LPIOC_GET_DEVICE_ID
#define LPIOC_GET_DEVICE_ID(len) _IOC(_IOC_READ, 'P', 1, len)
#endif

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads exactly `count` bytes unless the device reports the end of its data first.
bool ReadFully(int fd, unsigned char* into, std::size_t count, std::size_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = read(fd, into + got, count - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

DeviceKind KindOfPath(const std::string& path) {
    std::string name = BaseName(path);
    if (char* real = realpath(path.c_str(), nullptr)) {
        name = BaseName(real);
        std::free(real);
    }
    return name.compare(0, 7, "parport") == 0 ? DeviceKind::ParallelPort : DeviceKind::UsbPrinter;
}

const char* KindName(DeviceKind kind) {
    return kind == DeviceKind::ParallelPort ? "parallel port" : "USB printer";
}

std::string DeviceIdText(const unsigned char* reply, std::size_t received) {
    if (received < 2)
        return std::string();
    std::size_t length = (static_cast<std::size_t>(reply[0]) << 8) | reply[1];
    if (length < 2)
        return std::string();
    if (length > received)
        length = received;
    return std::string(reinterpret_cast<const char*>(reply) + 2, length - 2);
}

Device::Device(std::string path, DeviceKind kind) : path_(std::move(path)), kind_(kind) {}

Device::~Device() {
    Close();
}

bool Device::Open(DeviceProblem& problem) {
    // No check that the path is a character device: what matters is that the driver answers.
    fd_ = open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        problem = {"open", errno};
        return false;
    }
    if (kind_ == DeviceKind::ParallelPort) {
        if (ioctl(fd_, PPCLAIM) < 0) {
            problem = {"claim the port", errno};
            Close();
            return false;
        }
        claimed_ = true;
    }
    return true;
}

void Device::Close() {
    if (fd_ < 0)
        return;
    if (claimed_)
        ioctl(fd_, PPRELEASE);
    claimed_ = false;
    close(fd_);
    fd_ = -1;
}

bool Device::ReadId(std::string& text, DeviceProblem& problem) {
    text.clear();
    return kind_ == DeviceKind::ParallelPort ? ReadParallelId(text, problem)
                                             : ReadUsbId(text, problem);
}

bool Device::ReadUsbId(std::string& text, DeviceProblem& problem) {
    // The driver copies only as many bytes as the ID has: the rest must not be left-overs.
    unsigned char reply[DeviceIdBufferSize] = {};
    if (ioctl(fd_, LPIOC_GET_DEVICE_ID(sizeof reply), reply) < 0) {
        problem = {"read the device ID", errno};
        return false;
    }
    text = DeviceIdText(reply, sizeof reply);
    return true;
}

bool Device::Negotiate(int mode, DeviceProblem& problem) {
    if (ioctl(fd_, PPNEGOT, &mode) < 0) {
        problem = {mode == IEEE1284_MODE_COMPAT ? "return to compatibility mode"
                                                : "negotiate the device ID transfer",
                   errno};
        return false;
    }
    return true;
}

bool Device::ReadParallelId(std::string& text, DeviceProblem& problem) {
    if (!Negotiate(IEEE1284_MODE_NIBBLE | IEEE1284_DEVICEID, problem))
        return false;
    unsigned char reply[DeviceIdBufferSize] = {};
    std::size_t got = 0;
    bool ok = ReadFully(fd_, reply, 2, got);
    if (ok && got == 2) {
        std::size_t length = (static_cast<std::size_t>(reply[0]) << 8) | reply[1];
        if (length > sizeof reply)
            length = sizeof reply;
        std::size_t rest = 0;
        if (length > 2)
            ok = ReadFully(fd_, reply + 2, length - 2, rest);
        got += rest;
    }
    if (!ok)
        problem = {"read the device ID", errno};
    // Back to compatibility mode whatever the read did: writes go that way.
    DeviceProblem back;
    if (!Negotiate(IEEE1284_MODE_COMPAT, back)) {
        if (ok)
            problem = back;
        return false;
    }
    if (!ok)
        return false;
    text = DeviceIdText(reply, got);
    return true;
}

bool Device::Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                   DeviceProblem& problem) {
    written = 0;
    ssize_t n;
    do
        n = write(fd_, bytes, count);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        problem = {"write", errno};
        return false;
    }
    written = static_cast<std::size_t>(n);
    return true;
}
