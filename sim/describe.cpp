// The transcript's opening and close, in words a user of the runner follows: the machine and
// what the user will do before the run, and what the PC is left with after it.
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

namespace {

std::string PortName(int index) {
    return "LPT" + std::to_string(index + 1) + ":";
}

std::string Quoted(const std::string& text) {
    return "\"" + Escape(text) + "\"";
}

std::string KindText(PrinterKind kind) {
    switch (kind) {
    case PrinterKind::Takes:
        return "takes the update record";
    case PrinterKind::Ignores:
        return "ignores the update record";
    case PrinterKind::Pads:
        return "takes the update record but reports one byte more";
    case PrinterKind::Prefixed:
        return "takes the update record, and replies with the two length bytes first";
    }
    return "?";
}

std::string ActionText(const std::string& action) {
    if (action.rfind("click:", 0) == 0)
        return "clicks " + Quoted(action.substr(6));
    if (action == "enter")
        return "presses Enter";
    if (action == "escape")
        return "presses Escape";
    if (action == "close")
        return "clicks the close box";
    return "does " + Quoted(action);
}

std::string FaultText(const FaultSetup& f) {
    std::string text =
        "fault: " + f.call +
        (f.occurrence ? "#" + std::to_string(f.occurrence) + " (that call only)" : " (every call)");
    switch (f.kind) {
    case FaultKind::Fail:
        return text + " fails" +
               (f.error ? " with error " + std::to_string(f.error) : " with its usual error");
    case FaultKind::ShortWrite:
        return text + " succeeds but takes only " + std::to_string(f.count) + " bytes";
    case FaultKind::Reply:
        return text + " succeeds with a made-up reply of " + std::to_string(f.bytes.size()) +
               " bytes, reported as " + std::to_string(f.count);
    }
    return text;
}

} // namespace

std::vector<std::string> DescribeSetup(const Setup& setup) {
    std::vector<std::string> lines;
    const bool nt = setup.family == Family::NT;
    lines.push_back(
        std::string("machine: ") +
        (nt ? "the NT family of Windows, print spooler running" : "the 95/98 family of Windows"));
    for (int i = 0; i < PortCount; ++i) {
        const PortSetup& port = setup.ports[i];
        std::string line = "machine: " + PortName(i) + " ";
        if (!port.present) {
            line += "no such port";
            if (port.printer)
                line += " (the printer set for it is not attached)";
            lines.push_back(line);
            continue;
        }
        line += port.refuses ? "a port that cannot be opened, " : "a port, ";
        if (!port.printer) {
            line += "no printer";
        } else {
            line += "a printer that " + KindText(port.printer->kind) + "; it reports " +
                    (port.printer->id ? Quoted(*port.printer->id)
                                      : "the model's usual ID " + Quoted(FactoryDeviceId));
        }
        lines.push_back(line);
    }
    for (const auto& [name, target] : setup.dosDevices) {
        std::string line = "machine: DOS device ";
        line += name;
        line += " -> ";
        line += target;
        line += " defined before the start";
        lines.push_back(line);
    }
    for (const FaultSetup& f : setup.faults)
        lines.push_back(FaultText(f));

    if (nt) {
        std::string line = "user: in the port dialog: ";
        if (setup.dialogActions == std::vector<std::string>{"click:OK"}) {
            line += "presses OK with whatever the dialog has checked";
        } else if (setup.dialogActions.empty()) {
            line += "does nothing";
        } else {
            for (std::size_t i = 0; i < setup.dialogActions.size(); ++i)
                line += (i == 0                                ? ""
                         : i + 1 == setup.dialogActions.size() ? ", then "
                                                               : ", ") +
                        ActionText(setup.dialogActions[i]);
        }
        lines.push_back(line);
    }
    if (setup.resizeMainWindow)
        lines.push_back("user: while the first message box is shown, sizes the main window to " +
                        std::to_string(setup.resizeMainWindow->first) + "x" +
                        std::to_string(setup.resizeMainWindow->second));
    lines.push_back("user: presses OK in each message box");
    return lines;
}

std::vector<std::string> DescribeEnd(const Setup& setup, const Outcome& o) {
    std::vector<std::string> lines;
    lines.push_back(std::string("end: print spooler ") +
                    (o.spoolerRunning ? "running" : "stopped"));
    lines.push_back(
        std::string("end: scratch file OstraneUpdate ") +
        (o.scratchFileLeft ? "left in the working folder" : "not in the working folder"));
    for (const auto& [name, targets] : o.dosDevices) {
        std::string line = "end: DOS device " + name + " -> " +
                           (targets.empty() ? std::string("(nothing)") : targets.front());
        for (std::size_t i = 1; i < targets.size(); ++i)
            line +=
                (i == 1 ? " (older: " : ", ") + targets[i] + (i + 1 == targets.size() ? ")" : "");
        lines.push_back(line);
    }
    for (int i = 0; i < PortCount; ++i)
        lines.push_back("end: " + PortName(i) + " received " +
                        std::to_string(o.portBytes[i].size()) + " bytes");
    for (int i = 0; i < PortCount; ++i)
        if (setup.ports[i].present && setup.ports[i].printer)
            lines.push_back("end: the printer on LPT" + std::to_string(i + 1) + " reports " +
                            Quoted(o.printerIds[i]));
    return lines;
}

} // namespace sim
