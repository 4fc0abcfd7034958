// The runner's options, turned into a machine setup.
#include <string>

#include "machine.h"

namespace sim {

namespace {

// "LPT1".."LPT3" (a trailing colon allowed) to 1..3, or 0.
int PortNumber(std::string name) {
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    name = Upper(name);
    if (name.size() == 4 && name.compare(0, 3, "LPT") == 0 && name[3] >= '1' && name[3] <= '3')
        return name[3] - '0';
    return 0;
}

bool ParseKind(const std::string& text, PrinterKind& kind) {
    if (text == "takes")
        kind = PrinterKind::Takes;
    else if (text == "ignores")
        kind = PrinterKind::Ignores;
    else if (text == "pads")
        kind = PrinterKind::Pads;
    else if (text == "prefixed")
        kind = PrinterKind::Prefixed;
    else
        return false;
    return true;
}

} // namespace

// What --write-short lets through: half the update record.
constexpr DWORD ShortWriteBytes = 63;

const char* Usage() {
    return "usage: qx310wup-sim [options]\n"
           "Runs the update tool once on a simulated PC and prints what happens.\n"
           "  --family nt|9x            Windows family (default 9x)\n"
           "  --printer LPTn[:KIND]     a printer on port n; KIND is takes (default), ignores,\n"
           "                            pads or prefixed; repeatable. --printer none: no printer.\n"
           "                            Default: one printer on LPT2 that takes the record\n"
           "  --id LPTn=TEXT            the device ID that port n's printer reports at first\n"
           "  --absent LPTn             port n does not exist; repeatable\n"
           "  --refuse LPTn             port n exists but cannot be opened; repeatable\n"
           "  --choose LPTn             in the port dialog, click that port, then OK\n"
           "                            (default: OK as the dialog opens)\n"
           "  --dialog ACTION           one user action in the port dialog, in order:\n"
           "                            click:TEXT, enter, escape or close; repeatable\n"
           "  --write-fails             every write to a port fails at the device\n"
           "  --write-short             every write to a port takes only 63 bytes (half the "
           "record)\n"
           "  --fail CALL[#N][=ERROR]   the N-th call (default: every call) of a platform\n"
           "                            function, or of the shell commands net and del, fails\n"
           "  --dos-device NAME=TARGET  a DOS device defined before the start; repeatable\n"
           "  --capture DIR             afterwards DIR/LPTn.bin holds the bytes port n received\n"
           "  --trace                   also print every platform call\n"
           "  --help                    this text\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Setup& setup = parsed.setup;
    bool printersGiven = false;
    std::vector<std::string> dialog;
    auto fail = [&](const std::string& message) {
        parsed.error = message;
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (option == "--help") {
            parsed.help = true;
        } else if (option == "--trace") {
            parsed.trace = true;
        } else if (option == "--write-fails") {
            setup.faults.push_back({"WriteFile", 0, ERROR_IO_DEVICE});
        } else if (option == "--write-short") {
            setup.faults.push_back({"WriteFile", 0, 0, FaultKind::ShortWrite, ShortWriteBytes});
        } else if (option == "--family") {
            if (!value(v) || (v != "nt" && v != "9x"))
                return fail("--family takes nt or 9x");
            setup.family = v == "nt" ? Family::NT : Family::Win9x;
        } else if (option == "--printer") {
            if (!value(v))
                return fail("--printer takes LPTn[:KIND] or none");
            if (!printersGiven) {
                for (PortSetup& port : setup.ports)
                    port.printer.reset();
                printersGiven = true;
            }
            if (v == "none")
                continue;
            const std::size_t colon = v.find(':', 4);
            const int port = PortNumber(v.substr(0, colon));
            PrinterSetup printer;
            if (port == 0 ||
                (colon != std::string::npos && !ParseKind(v.substr(colon + 1), printer.kind)))
                return fail("--printer: bad value \"" + v + "\"");
            setup.ports[port - 1].printer = printer;
        } else if (option == "--id") {
            const std::size_t eq = value(v) ? v.find('=') : std::string::npos;
            const int port = eq == std::string::npos ? 0 : PortNumber(v.substr(0, eq));
            if (port == 0)
                return fail("--id takes LPTn=TEXT");
            if (!setup.ports[port - 1].printer)
                setup.ports[port - 1].printer = PrinterSetup{};
            setup.ports[port - 1].printer->id = v.substr(eq + 1);
        } else if (option == "--absent" || option == "--refuse" || option == "--choose") {
            const int port = value(v) ? PortNumber(v) : 0;
            if (port == 0)
                return fail(option + " takes LPT1, LPT2 or LPT3");
            if (option == "--absent")
                setup.ports[port - 1].present = false;
            else if (option == "--refuse")
                setup.ports[port - 1].refuses = true;
            else {
                dialog.push_back("click:LPT" + std::to_string(port));
                dialog.push_back("click:OK");
            }
        } else if (option == "--dialog") {
            if (!value(v) ||
                (v.rfind("click:", 0) != 0 && v != "enter" && v != "escape" && v != "close"))
                return fail("--dialog takes click:TEXT, enter, escape or close");
            dialog.push_back(v);
        } else if (option == "--fail") {
            if (!value(v) || v.empty())
                return fail("--fail takes CALL[#N][=ERROR]");
            FaultSetup fault;
            std::string rest = v;
            try {
                const std::size_t eq = rest.find('=');
                if (eq != std::string::npos) {
                    fault.error = static_cast<DWORD>(std::stoul(rest.substr(eq + 1)));
                    rest.erase(eq);
                }
                const std::size_t hash = rest.find('#');
                if (hash != std::string::npos) {
                    fault.occurrence = std::stoi(rest.substr(hash + 1));
                    rest.erase(hash);
                }
            } catch (const std::exception&) {
                return fail("--fail: bad value \"" + v + "\"");
            }
            if (rest.empty() || fault.occurrence < 0)
                return fail("--fail: bad value \"" + v + "\"");
            fault.call = rest;
            setup.faults.push_back(fault);
        } else if (option == "--dos-device") {
            const std::size_t eq = value(v) ? v.find('=') : std::string::npos;
            if (eq == std::string::npos || eq == 0)
                return fail("--dos-device takes NAME=TARGET");
            setup.dosDevices.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (option == "--capture") {
            if (!value(parsed.captureDir))
                return fail("--capture takes a directory");
        } else {
            return fail("unknown option \"" + option + "\"");
        }
    }
    if (!dialog.empty())
        setup.dialogActions = dialog;
    return parsed;
}

} // namespace sim
