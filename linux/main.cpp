// qx310wup for Linux: finds the QX310 printer by its device ID on the USB printer class devices
// and the parallel ports, sends it the one update record and reads the ID back. Nothing is ever
// sent to a device whose ID lacks the model key; only a read-back equal to the expected text
// counts as an update.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device.h"
#include "ports/model_key.h"
#include "update/record.h"

namespace {

enum ExitStatus {
    ExitUpdated = 0,
    ExitNotVerified = 1,
    ExitUsage = 2,
    ExitNoPrinter = 3,
    ExitDeviceFailed = 4,
};

constexpr char Usage[] =
    "usage: qx310wup [--dry-run] [DEVICE...]\n"
    "Finds the QX310 printer (its device ID contains \"%s\") on DEVICE,\n"
    "or on /dev/usb/lp0 ... lp15 and then /dev/parport0 ... 3, sends it the\n"
    "%zu-byte device ID update record and reads the ID back.\n"
    "  --dry-run  do everything but send the record\n"
    "Exit status: 0 updated (or already up to date), 1 sent but not verified,\n"
    "2 bad usage, 3 no printer found, 4 a device could not be used.\n";

// A printer that has taken the record may need a moment before it reports the new ID.
constexpr int ReadBackAttempts = 9;
constexpr long ReadBackPauseMs = 250;

const std::string_view Expected(ExpectedIdText.data(), ExpectedIdLength);

struct Options {
    bool dryRun = false;
    bool named = false; // devices given on the command line
    std::vector<std::string> devices;
};

std::vector<std::string> DefaultDevices() {
    std::vector<std::string> devices;
    devices.reserve(20);
    for (int i = 0; i < 16; ++i)
        devices.push_back("/dev/usb/lp" + std::to_string(i));
    for (int i = 0; i < 4; ++i)
        devices.push_back("/dev/parport" + std::to_string(i));
    return devices;
}

// An ID as a person can read it: quoted, with any byte that is not printable ASCII as \xNN.
std::string Shown(std::string_view text) {
    std::string shown = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown + "\" (" + std::to_string(text.size()) + " bytes)";
}

std::string Describe(const Device& device, const DeviceProblem& problem) {
    return device.Path() + ": could not " + problem.step + ": " + std::strerror(problem.error);
}

const char* Hint(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "hint: no permission to use the device. Run as root (sudo), or add your user to "
               "the group that owns it (usually lp: sudo usermod -aG lp $USER, then log in "
               "again).";
    case EBUSY:
        return "hint: another program holds the device, for example a print service or a print "
               "job still running. Stop the print service or wait, then try again.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "hint: no such device. USB printers appear as /dev/usb/lpN (the usblp module), "
               "parallel ports as /dev/parportN (the ppdev module); check the path and the "
               "cable.";
    default:
        return "hint: check that the printer is switched on, on-line and connected; a print "
               "service holding the device also stops it from answering.";
    }
}

void Pause(long ms) {
    timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) < 0 && errno == EINTR) {
    }
}

int ParseOptions(int argc, char** argv, Options& options) {
    bool onlyDevices = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!onlyDevices && arg == "--") {
            onlyDevices = true;
        } else if (!onlyDevices && arg == "--dry-run") {
            options.dryRun = true;
        } else if (!onlyDevices && (arg == "--help" || arg == "-h")) {
            std::printf(Usage, ModelKey, RecordSize);
            return ExitUpdated;
        } else if (!onlyDevices && !arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "qx310wup: unknown option %s\n", arg.c_str());
            std::fprintf(stderr, Usage, ModelKey, RecordSize);
            return ExitUsage;
        } else {
            options.devices.push_back(arg);
        }
    }
    options.named = !options.devices.empty();
    if (!options.named)
        options.devices = DefaultDevices();
    return -1;
}

// Looks at the devices in order and returns the first whose ID contains the model key, open.
std::unique_ptr<Device> FindPrinter(const Options& options, std::string& idBefore,
                                    std::vector<DeviceProblem>& problems) {
    std::printf("Looking for the QX310 printer: a device whose ID contains \"%s\".\n", ModelKey);
    int absent = 0;
    for (const std::string& path : options.devices) {
        auto device = std::make_unique<Device>(path, KindOfPath(path));
        DeviceProblem problem;
        if (!device->Open(problem)) {
            // Of the usual names most do not exist on a given machine: not worth a line each.
            if (!options.named && problem.step == "open" &&
                (problem.error == ENOENT || problem.error == ENODEV || problem.error == ENXIO)) {
                ++absent;
                continue;
            }
            std::printf("  %s\n", Describe(*device, problem).c_str());
            problems.push_back(problem);
            continue;
        }
        std::string id;
        if (!device->ReadId(id, problem)) {
            // Not a printer that answers the query: not the printer, as on Windows.
            std::printf("  %s (%s): could not %s: %s\n", path.c_str(), KindName(device->Kind()),
                        problem.step.c_str(), std::strerror(problem.error));
            continue;
        }
        const bool found = id.find(ModelKey) != std::string::npos;
        std::printf("  %s (%s) reports %s: %s\n", path.c_str(), KindName(device->Kind()),
                    Shown(id).c_str(), found ? "the QX310" : "not the QX310");
        if (found) {
            idBefore = id;
            return device;
        }
    }
    if (absent > 0)
        std::printf("  (%d of the usual device names do not exist on this machine)\n", absent);
    return nullptr;
}

// Reads the ID back until it equals the expected text or the attempts run out.
bool ReadBack(Device& device, std::string& idAfter, DeviceProblem& problem, int& attempts) {
    bool read = false;
    for (attempts = 1;; ++attempts) {
        read = device.ReadId(idAfter, problem);
        if ((read && idAfter == Expected) || attempts == ReadBackAttempts)
            return read;
        Pause(ReadBackPauseMs);
    }
}

int Update(const Options& options) {
    std::vector<DeviceProblem> problems;
    std::string idBefore;
    const std::unique_ptr<Device> printer = FindPrinter(options, idBefore, problems);
    if (!printer) {
        if (!problems.empty()) {
            std::printf("No QX310 printer found, but not every device could be looked at: the "
                        "printer may be on one of them. Nothing was sent.\n");
            std::printf("%s\n", Hint(problems.front().error));
            return ExitDeviceFailed;
        }
        std::printf("No QX310 printer found: no device reports \"%s\" in its ID. Nothing was "
                    "sent.\n",
                    ModelKey);
        return ExitNoPrinter;
    }

    std::printf("Chosen: %s (%s)\n", printer->Path().c_str(), KindName(printer->Kind()));
    std::printf("ID before: %s\n", Shown(idBefore).c_str());
    if (idBefore == Expected) {
        std::printf("The printer already reports the new ID: nothing was sent.\n");
        return ExitUpdated;
    }
    if (options.dryRun) {
        std::printf("Dry run: the %zu-byte record would go to %s; nothing was sent.\n", RecordSize,
                    printer->Path().c_str());
        return ExitUpdated;
    }

    std::printf("Sending the %zu-byte record to %s.\n", RecordSize, printer->Path().c_str());
    DeviceProblem problem;
    std::size_t written = 0;
    if (!printer->Write(DeviceIdRecord.data(), DeviceIdRecord.size(), written, problem)) {
        std::printf("Failed: %s\n%s\n", Describe(*printer, problem).c_str(), Hint(problem.error));
        return ExitDeviceFailed;
    }
    if (written != RecordSize) {
        std::printf("Failed: %s took only %zu of the %zu bytes; the printer may be left with part "
                    "of the record.\n%s\n",
                    printer->Path().c_str(), written, RecordSize, Hint(0));
        return ExitDeviceFailed;
    }

    std::string idAfter;
    int attempts = 0;
    const bool read = ReadBack(*printer, idAfter, problem, attempts);
    const std::string tries = attempts > 1
                                  ? " (read " + std::to_string(attempts) + " times over " +
                                        std::to_string((attempts - 1) * ReadBackPauseMs) + " ms)"
                                  : std::string();
    if (!read) {
        std::printf("ID after: none%s: %s\n", tries.c_str(), Describe(*printer, problem).c_str());
        std::printf("Not verified: the record was sent, but the ID could not be read back.\n");
        return ExitNotVerified;
    }
    std::printf("ID after%s: %s\n", tries.c_str(), Shown(idAfter).c_str());
    if (idAfter != Expected) {
        std::printf("Not verified: the record was sent, but the ID read back is not the new ID "
                    "%s.\n",
                    Shown(Expected).c_str());
        return ExitNotVerified;
    }
    std::printf("Updated: %s now reports the new device ID.\n", printer->Path().c_str());
    return ExitUpdated;
}

} // namespace

int main(int argc, char** argv) {
    // Every line as it happens, in order, also when the output goes to a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed >= 0)
        return parsed;
    return Update(options);
}
