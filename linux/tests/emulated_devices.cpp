// The FUSE filesystem behind the emulated printer devices; see emulated_devices.h.
#define FUSE_USE_VERSION 35
#include "emulated_devices.h"

#include <fuse3/fuse.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>

namespace emu {

namespace {

// The USB printer class driver's device ID request: type 'P', number 1, size in the request.
constexpr unsigned UsbIdType = 'P';
constexpr unsigned UsbIdNumber = 1;
// The driver keeps at most this many bytes of a device ID, length bytes included.
constexpr std::size_t UsbIdKept = 1023;

struct Device {
    DeviceSetup setup;
    QxPrinter printer{};
    std::string staleReply;
    int staleLeft = 0;
    bool open = false; // the USB printer class driver lets one process open a device at a time
    DeviceLog log;
};

struct OpenFile {
    Device* device = nullptr;
    bool claimed = false;
    int mode = IEEE1284_MODE_COMPAT;
    std::string id; // the reply being read in device ID mode
    std::size_t cursor = 0;
};

std::string CurrentReply(const Device& device) {
    char bytes[QX_PRINTER_ID_MAX + 2];
    return std::string(bytes, QxPrinterReply(&device.printer, bytes, sizeof bytes));
}

// The device ID as the kernel's drivers deliver it: two big-endian length bytes that count
// themselves, then what the printer answers (which for a PREFIXED printer has its own two).
std::string IdReply(Device& device) {
    std::string reply;
    if (device.staleLeft > 0) {
        --device.staleLeft;
        reply = device.staleReply;
    } else {
        reply = CurrentReply(device);
    }
    const std::size_t length = reply.size() + 2;
    std::string prefixed;
    prefixed += static_cast<char>((length >> 8) & 0xFF);
    prefixed += static_cast<char>(length & 0xFF);
    return prefixed + reply;
}

} // namespace

struct EmulatedDevices::State {
    mutable std::mutex mutex;
    std::map<std::string, Device> devices; // by "/name"

    Device* Find(const char* path) {
        const auto found = devices.find(path);
        return found == devices.end() ? nullptr : &found->second;
    }
    bool IsDirectory(const std::string& path) const {
        if (path == "/")
            return true;
        return std::any_of(devices.begin(), devices.end(), [&](const auto& entry) {
            return entry.first.compare(0, path.size() + 1, path + "/") == 0;
        });
    }
};

namespace {

EmulatedDevices::State& Fs() {
    return *static_cast<EmulatedDevices::State*>(fuse_get_context()->private_data);
}

OpenFile& FileOf(fuse_file_info* fi) {
    return *reinterpret_cast<OpenFile*>(static_cast<std::uintptr_t>(fi->fh));
}

void* Init(fuse_conn_info*, fuse_config* config) {
    // Every request reaches the filesystem: no caching of names, sizes or data.
    config->direct_io = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    return fuse_get_context()->private_data;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info*) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    std::memset(st, 0, sizeof *st);
    if (fs.Find(path)) {
        // A regular file: a device node would be routed to the real driver, not to us.
        st->st_mode = S_IFREG | 0660;
        st->st_nlink = 1;
        return 0;
    }
    if (fs.IsDirectory(path)) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    return -ENOENT;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    std::string dir = path;
    if (dir != "/")
        dir += "/";
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    std::string last;
    for (const auto& entry : fs.devices) {
        if (entry.first.compare(0, dir.size(), dir) != 0)
            continue;
        const std::string child =
            entry.first.substr(dir.size(), entry.first.find('/', dir.size()) - dir.size());
        if (child != last)
            fill(buffer, child.c_str(), nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
        last = child;
    }
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    Device* device = fs.Find(path);
    if (!device)
        return -ENOENT;
    if (device->setup.interface == Interface::UsbPrinter) {
        if (device->setup.busy || device->open) {
            device->log.events.emplace_back("open refused: busy");
            return -EBUSY;
        }
        device->open = true;
    }
    device->log.events.emplace_back("open");
    auto* file = new OpenFile;
    file->device = device;
    fi->fh = reinterpret_cast<std::uintptr_t>(file);
    fi->direct_io = 1;
    fi->nonseekable = 1;
    return 0;
}

int Release(const char*, fuse_file_info* fi) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    OpenFile* file = &FileOf(fi);
    if (file->claimed)
        file->device->log.events.emplace_back("released by close");
    file->device->open = false;
    file->device->log.events.emplace_back("close");
    delete file;
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t, fuse_file_info* fi) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    OpenFile& file = FileOf(fi);
    Device& device = *file.device;
    if (device.setup.interface == Interface::UsbPrinter)
        return 0; // the printer sends nothing back on its data channel
    if (!file.claimed)
        return -EINVAL; // ppdev: claim the port first
    if (!(file.mode & IEEE1284_DEVICEID))
        return -EIO; // nothing to read but the device ID
    const std::size_t n = std::min(size, file.id.size() - file.cursor);
    file.id.copy(buffer, n, file.cursor);
    file.cursor += n;
    device.log.events.push_back("read " + std::to_string(n));
    return static_cast<int>(n);
}

int Write(const char*, const char* bytes, size_t size, off_t, fuse_file_info* fi) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    OpenFile& file = FileOf(fi);
    Device& device = *file.device;
    if (device.setup.interface == Interface::ParallelPort) {
        if (!file.claimed) {
            device.log.events.emplace_back("write refused: not claimed");
            return -EINVAL;
        }
        if (file.mode != IEEE1284_MODE_COMPAT) {
            device.log.events.emplace_back("write refused: not in compatibility mode");
            return -EIO;
        }
    }
    if (device.setup.writeError) {
        device.log.events.push_back("write failed: " +
                                    std::string(strerror(device.setup.writeError)));
        return -device.setup.writeError;
    }
    const std::size_t n = std::min(size, device.setup.takeAtMost);
    const std::string before = CurrentReply(device);
    const int tookBefore = device.printer.took;
    QxPrinterReceive(&device.printer, bytes, static_cast<unsigned>(n));
    if (!tookBefore && device.printer.took && device.setup.staleQueries > 0) {
        device.staleReply = before;
        device.staleLeft = device.setup.staleQueries;
    }
    device.log.received.append(bytes, n);
    device.log.events.push_back("write " + std::to_string(n));
    return static_cast<int>(n);
}

int UsbIoctl(Device& device, unsigned cmd, void* data) {
    if (_IOC_TYPE(cmd) != UsbIdType || _IOC_NR(cmd) != UsbIdNumber || _IOC_DIR(cmd) != _IOC_READ)
        return -ENOTTY;
    // The whole buffer goes back to the caller: clear what the ID does not fill.
    const std::size_t size = _IOC_SIZE(cmd);
    std::memset(data, 0, size);
    std::string reply = IdReply(device);
    reply.resize(std::min({reply.size(), UsbIdKept, size}));
    std::memcpy(data, reply.data(), reply.size());
    device.log.events.push_back("id query");
    return 0;
}

const char* ModeName(int mode) {
    switch (mode) {
    case IEEE1284_MODE_COMPAT:
        return "compat";
    case IEEE1284_MODE_NIBBLE:
        return "nibble";
    case IEEE1284_MODE_NIBBLE | IEEE1284_DEVICEID:
        return "nibble+id";
    default:
        return "other";
    }
}

int ParallelIoctl(OpenFile& file, unsigned cmd, void* data) {
    Device& device = *file.device;
    auto& events = device.log.events;
    switch (cmd) {
    case PPCLAIM:
        if (device.setup.busy) {
            events.emplace_back("claim refused: busy");
            return -EBUSY;
        }
        file.claimed = true;
        events.emplace_back("claim");
        return 0;
    case PPEXCL:
        return file.claimed ? -EINVAL : 0;
    default:
        break;
    }
    if (!file.claimed) {
        events.emplace_back("ioctl refused: not claimed");
        return -EINVAL;
    }
    int mode = 0;
    switch (cmd) {
    case PPRELEASE:
        file.claimed = false;
        events.emplace_back("release");
        return 0;
    case PPNEGOT:
        std::memcpy(&mode, data, sizeof mode);
        events.push_back(std::string("negotiate ") + ModeName(mode));
        if (mode != IEEE1284_MODE_COMPAT && mode != IEEE1284_MODE_NIBBLE &&
            mode != (IEEE1284_MODE_NIBBLE | IEEE1284_DEVICEID))
            return -ENXIO; // the printer rejects the mode
        file.mode = mode;
        file.cursor = 0;
        file.id = (mode & IEEE1284_DEVICEID) ? IdReply(device) : std::string();
        return 0;
    case PPSETMODE:
        std::memcpy(&mode, data, sizeof mode);
        events.push_back(std::string("set mode ") + ModeName(mode));
        // Setting a mode does not make the printer send its ID: only negotiating does.
        file.mode = mode & ~IEEE1284_DEVICEID;
        return 0;
    case PPGETMODE:
        std::memcpy(data, &file.mode, sizeof file.mode);
        return 0;
    default:
        return -ENOTTY;
    }
}

int Ioctl(const char*, unsigned int cmd, void*, fuse_file_info* fi, unsigned int, void* data) {
    auto& fs = Fs();
    const std::lock_guard<std::mutex> lock(fs.mutex);
    OpenFile& file = FileOf(fi);
    if (file.device->setup.interface == Interface::UsbPrinter)
        return UsbIoctl(*file.device, cmd, data);
    return ParallelIoctl(file, cmd, data);
}

} // namespace

EmulatedDevices::EmulatedDevices(std::vector<DeviceSetup> devices) : state_(new State) {
    for (DeviceSetup& setup : devices) {
        Device& device = state_->devices["/" + setup.name];
        device.setup = std::move(setup);
        QxPrinterInit(&device.printer, device.setup.kind, device.setup.id.data(),
                      static_cast<unsigned>(device.setup.id.size()));
    }

    char dir[] = "/tmp/qx-devices-XXXXXX";
    if (!mkdtemp(dir)) {
        error_ = std::string("cannot make a mount point: ") + strerror(errno);
        return;
    }
    mountPoint_ = dir;

    static fuse_operations operations = [] {
        fuse_operations ops{};
        ops.init = Init;
        ops.getattr = GetAttr;
        ops.readdir = ReadDir;
        ops.open = Open;
        ops.release = Release;
        ops.read = Read;
        ops.write = Write;
        ops.ioctl = Ioctl;
        return ops;
    }();
    char program[] = "qx-emulated-devices";
    char* argv[] = {program, nullptr};
    fuse_args args = FUSE_ARGS_INIT(1, argv);
    fuse_ = fuse_new(&args, &operations, sizeof operations, state_.get());
    fuse_opt_free_args(&args);
    if (!fuse_) {
        error_ = "the FUSE library could not start a filesystem";
        return;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
        error_ = std::string("/dev/fuse cannot be used (") + strerror(errno) +
                 "): the emulated devices need FUSE, which needs root and /dev/fuse";
        return;
    }
    if (fuse_mount(fuse_, dir) != 0) {
        error_ = std::string("cannot mount the emulated devices on ") + dir +
                 ": FUSE mounts need root (or fusermount3) and /dev/fuse";
        return;
    }
    mounted_ = true;
    // One thread serves every request in order, as a single-threaded FUSE daemon does: a release
    // and the next open cannot overtake each other.
    loop_ = std::thread([this] { fuse_loop(fuse_); });
}

EmulatedDevices::~EmulatedDevices() {
    if (mounted_) {
        // Detaching the mount ends the loop; the library then has nothing left to unmount.
        if (umount2(mountPoint_.c_str(), MNT_DETACH) != 0)
            fuse_unmount(fuse_);
        loop_.join();
        fuse_unmount(fuse_);
    }
    if (fuse_)
        fuse_destroy(fuse_);
    if (!mountPoint_.empty())
        rmdir(mountPoint_.c_str());
}

DeviceLog EmulatedDevices::Log(const std::string& name) const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    const auto found = state_->devices.find("/" + name);
    return found == state_->devices.end() ? DeviceLog{} : found->second.log;
}

} // namespace emu
