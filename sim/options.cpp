// The runner's options, turned into a machine setup.
#include <algorithm>
#include <array>
#include <optional>
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

namespace {

// A whole decimal number in [min, max], or false.
bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long& out) {
    if (text.empty() || text.size() > 10)
        return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + static_cast<unsigned>(c - '0');
    }
    return out <= max;
}

// The calls --fail accepts, wrapped for the help text or on one line.
std::string AcceptedCalls(bool wrap) {
    std::string list;
    std::size_t column = 0;
    for (const std::string& call : FaultableCalls()) {
        if (wrap && column + call.size() + 1 > 64) {
            list += "\n                            ";
            column = 0;
        }
        list += (column ? " " : "") + call;
        column += call.size() + 1;
    }
    return list;
}

} // namespace

std::string Usage() {
    return "usage: qx310wup-sim [options]\n"
           "Runs the update tool once on a simulated PC and prints what happens: the machine and\n"
           "what the user will do, the run, and what the PC is left with. Options apply in any\n"
           "order; where a port is named, LPTn and LPTn: are the same.\n"
           "  --family nt|9x            Windows family (default 9x)\n"
           "  --printer LPTn[:KIND]     a printer on port n; KIND is takes (default), ignores,\n"
           "                            pads or prefixed; repeatable. --printer none: no printer.\n"
           "                            Default: one printer on LPT2 that takes the record\n"
           "  --id LPTn=TEXT            the device ID that port n's printer reports at first (an\n"
           "                            empty TEXT is an empty ID); puts a printer there if none\n"
           "  --absent LPTn             port n does not exist; repeatable\n"
           "  --refuse LPTn             port n exists but cannot be opened; repeatable\n"
           "  --choose LPTn             in the port dialog, click that port, then OK\n"
           "                            (default: OK as the dialog opens)\n"
           "  --dialog ACTION           one user action in the port dialog, in order:\n"
           "                            click:TEXT, enter, escape or close; repeatable\n"
           "  --resize WxH              while the first message box is shown, the user sizes the\n"
           "                            main window to W by H pixels (at most the screen,\n"
           "                            1024x768)\n"
           "  --write-fails             every write to a port fails at the device\n"
           "  --write-short             every write to a port takes only 63 bytes (half the "
           "record)\n"
           "  --fail CALL[#N][=ERROR]   the N-th call of CALL fails, with ERROR (a decimal Win32\n"
           "                            error code; default: the call's usual one). #N counts the\n"
           "                            calls of that name from the start of the run, #1 being\n"
           "                            the first; without #N every call fails. CALL is one of:\n"
           "                            " +
           AcceptedCalls(true) +
           "\n"
           "                            (net and del are the program's shell commands)\n"
           "  --dos-device NAME=TARGET  a DOS device defined before the start; repeatable\n"
           "  --capture DIR             afterwards DIR/LPTn.bin holds the bytes port n received\n"
           "  --workdir DIR             run in DIR (made if missing) and keep it; by default each\n"
           "                            run has a fresh temporary working folder, removed after\n"
           "  --trace                   also print every platform call\n"
           "  --help                    this text\n"
           "Exit status: the program's own (0); 2 a bad option; 3 the run got stuck, waiting for\n"
           "something that never came; 4 a fault set with --fail, --write-fails or --write-short\n"
           "never fired, because its call never happened.\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Setup& setup = parsed.setup;
    // Printers and IDs are gathered first and put together at the end, so that the options'
    // order does not matter.
    bool printersGiven = false;
    std::array<std::optional<PrinterKind>, PortCount> printers;
    std::array<std::optional<std::string>, PortCount> ids;
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
            printersGiven = true;
            if (v == "none")
                continue;
            // LPTn, LPTn: or LPTn:KIND
            const std::size_t colon = v.find(':');
            const int port = PortNumber(v.substr(0, colon));
            PrinterKind kind = PrinterKind::Takes;
            const std::string kindText =
                colon == std::string::npos ? std::string() : v.substr(colon + 1);
            if (port == 0 || (!kindText.empty() && !ParseKind(kindText, kind)))
                return fail("--printer: bad value \"" + v + "\"");
            printers[port - 1] = kind;
        } else if (option == "--id") {
            const std::size_t eq = value(v) ? v.find('=') : std::string::npos;
            const int port = eq == std::string::npos ? 0 : PortNumber(v.substr(0, eq));
            if (port == 0)
                return fail("--id takes LPTn=TEXT");
            ids[port - 1] = v.substr(eq + 1);
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
        } else if (option == "--resize") {
            const std::size_t x = value(v) ? v.find('x') : std::string::npos;
            unsigned long long width = 0, height = 0;
            // The user can drag the frame out to the edges of the screen, 1024 by 768.
            if (x == std::string::npos || !ParseNumber(v.substr(0, x), 1024, width) ||
                !ParseNumber(v.substr(x + 1), 768, height) || width == 0 || height == 0)
                return fail("--resize takes WxH, at least 1x1 and at most the screen, 1024x768");
            setup.resizeMainWindow = std::make_pair(int(width), int(height));
        } else if (option == "--fail") {
            if (!value(v))
                return fail("--fail takes CALL[#N][=ERROR]");
            FaultSetup fault;
            std::string rest = v;
            unsigned long long number = 0;
            const std::size_t eq = rest.find('=');
            if (eq != std::string::npos) {
                if (!ParseNumber(rest.substr(eq + 1), 0xFFFFFFFFull, number))
                    return fail("--fail: bad ERROR in \"" + v + "\": a decimal Win32 error code");
                fault.error = static_cast<DWORD>(number);
                rest.erase(eq);
            }
            const std::size_t hash = rest.find('#');
            if (hash != std::string::npos) {
                if (!ParseNumber(rest.substr(hash + 1), 1000000, number) || number == 0)
                    return fail("--fail: bad #N in \"" + v + "\": N counts calls from 1");
                fault.occurrence = static_cast<int>(number);
                rest.erase(hash);
            }
            const auto& calls = FaultableCalls();
            if (std::find(calls.begin(), calls.end(), rest) == calls.end())
                return fail("--fail: \"" + rest + "\" is not a call the simulated PC knows; " +
                            "CALL is one of: " + AcceptedCalls(false));
            fault.call = rest;
            setup.faults.push_back(fault);
        } else if (option == "--dos-device") {
            const std::size_t eq = value(v) ? v.find('=') : std::string::npos;
            if (eq == std::string::npos || eq == 0)
                return fail("--dos-device takes NAME=TARGET");
            setup.dosDevices.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (option == "--capture") {
            if (!value(parsed.captureDir) || parsed.captureDir.empty())
                return fail("--capture takes a directory");
        } else if (option == "--workdir") {
            if (!value(parsed.workDir) || parsed.workDir.empty())
                return fail("--workdir takes a directory");
        } else {
            return fail("unknown option \"" + option + "\"");
        }
    }
    if (printersGiven)
        for (int p = 0; p < PortCount; ++p) {
            setup.ports[p].printer.reset();
            if (printers[p])
                setup.ports[p].printer = PrinterSetup{*printers[p]};
        }
    for (int p = 0; p < PortCount; ++p)
        if (ids[p]) {
            if (!setup.ports[p].printer)
                setup.ports[p].printer = PrinterSetup{};
            setup.ports[p].printer->id = ids[p];
        }
    if (!dialog.empty())
        setup.dialogActions = dialog;
    return parsed;
}

} // namespace sim
