// A printer device on Linux: the kernel's USB printer class device (/dev/usb/lpN) or a parallel
// port through ppdev (/dev/parportN). Each opens the device, reads its IEEE 1284 device ID and
// writes bytes to it, and says which step failed and with which system error.
#pragma once

#include <cstddef>
#include <string>

enum class DeviceKind { UsbPrinter, ParallelPort };

// Which interface a path is reached through: a file named parportN (after following symbolic
// links) is a parallel port, anything else a USB printer class device.
DeviceKind KindOfPath(const std::string& path);
const char* KindName(DeviceKind kind);

// A step that failed and the system's error number.
struct DeviceProblem {
    std::string step; // "open", "claim the port", "read the device ID", "write", ...
    int error = 0;
};

// The longest device ID read, length bytes included (the USB printer class driver keeps 1023).
constexpr std::size_t DeviceIdBufferSize = 1024;

// The ID text of an IEEE 1284 device ID reply: the bytes after the two-byte big-endian length,
// up to what that length (which counts its own two bytes) declares, never past what arrived.
std::string DeviceIdText(const unsigned char* reply, std::size_t received);

class Device {
  public:
    Device(std::string path, DeviceKind kind);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const std::string& Path() const { return path_; }
    DeviceKind Kind() const { return kind_; }

    // Opens the device; a parallel port is also claimed, until the device is closed.
    bool Open(DeviceProblem& problem);
    // The device ID text, without its length bytes.
    bool ReadId(std::string& text, DeviceProblem& problem);
    // Writes all of `bytes` in one call; `written` is what the device took.
    bool Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
               DeviceProblem& problem);
    void Close();

  private:
    bool ReadUsbId(std::string& text, DeviceProblem& problem);
    bool ReadParallelId(std::string& text, DeviceProblem& problem);
    bool Negotiate(int mode, DeviceProblem& problem);

    std::string path_;
    DeviceKind kind_;
    int fd_ = -1;
    bool claimed_ = false;
};
