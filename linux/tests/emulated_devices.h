// Printer device files for the Linux command, served by a FUSE filesystem in the test process:
// each file acts as a USB printer class device (/dev/usb/lpN) or a ppdev parallel port
// (/dev/parportN), with a printer of the shared printer model behind it. The program under test
// reaches them through the kernel: open, write, read and the drivers' ioctls.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "printer_model.h"

struct fuse;

namespace emu {

enum class Interface { UsbPrinter, ParallelPort };

// One device file and the printer behind it.
struct DeviceSetup {
    std::string name; // path below the mount point, such as "usb/lp1" or "parport0"
    Interface interface = Interface::UsbPrinter;
    int kind = QX_PRINTER_TAKES;         // how the printer reacts to the record
    std::string id = QxPrinterFactoryId; // the ID it reports at first
    int writeError = 0;                  // every write fails with this error
    std::size_t takeAtMost = std::numeric_limits<std::size_t>::max(); // per write
    bool busy = false;    // USB: open fails with EBUSY; parallel port: claiming it does
    int staleQueries = 0; // after taking the record, this many ID queries still show the old ID
};

// What a device saw.
struct DeviceLog {
    std::string received;            // every byte written to it
    std::vector<std::string> events; // "open", "claim", "negotiate nibble+id", "write 126", ...
};

class EmulatedDevices {
  public:
    explicit EmulatedDevices(std::vector<DeviceSetup> devices);
    ~EmulatedDevices(); // unmounts, also when a test failed
    EmulatedDevices(const EmulatedDevices&) = delete;
    EmulatedDevices& operator=(const EmulatedDevices&) = delete;

    // Empty when mounted; otherwise why not.
    const std::string& Error() const { return error_; }
    const std::string& MountPoint() const { return mountPoint_; }
    std::string Path(const std::string& name) const { return mountPoint_ + "/" + name; }
    DeviceLog Log(const std::string& name) const;

    struct State; // the filesystem's side, shared with its thread

  private:
    std::unique_ptr<State> state_;
    std::string mountPoint_;
    std::string error_;
    fuse* fuse_ = nullptr;
    bool mounted_ = false;
    std::thread loop_;
};

} // namespace emu
