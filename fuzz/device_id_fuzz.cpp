// Bad replies: the 95/98 road's printer search and read-back, fed arbitrary device ID replies and
// reported counts from the simulated ports' drivers and printers. Besides the sanitizers, every
// run is held to what the replies actually delivered: the record goes to the first port whose
// reply carries the model, and success is reported only when the read-back delivered exactly
// the new ID text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "ports/ports.h"
#include "printer.h"
#include "sim.h"
#include "update/record.h"
#include "update/update.h"

namespace {

constexpr std::size_t MaxReply = 700; // room for replies longer than the 512-byte buffer
constexpr int Queries = 4;            // three during the search, one read-back

struct Input {
    sim::Setup setup;
    std::optional<sim::FaultSetup> replies[Queries]; // by query number
};

Input Decode(FuzzedDataProvider& data) {
    Input in;
    in.setup.ports[1].printer.reset();
    for (sim::PortSetup& port : in.setup.ports) {
        port.present = data.ConsumeBool();
        if (!data.ConsumeBool())
            continue;
        sim::PrinterSetup printer;
        printer.kind = static_cast<sim::PrinterKind>(data.ConsumeIntegralInRange(0, 3));
        if (data.ConsumeBool())
            printer.id = data.ConsumeRandomLengthString(MaxReply);
        port.printer = printer;
    }
    for (auto& reply : in.replies) {
        if (!data.ConsumeBool())
            continue;
        sim::FaultSetup fault;
        fault.call = "DeviceIoControl";
        fault.occurrence = static_cast<int>(&reply - in.replies) + 1;
        if (data.ConsumeBool()) {
            fault.kind = sim::FaultKind::Reply;
            fault.bytes = data.ConsumeRandomLengthString(MaxReply);
            // A count that tells the truth, says less or more than was delivered, or is any
            // value at all.
            const auto size = static_cast<DWORD>(fault.bytes.size());
            const auto delta = data.ConsumeIntegralInRange<DWORD>(0, 600);
            switch (data.ConsumeIntegralInRange(0, 3)) {
            case 0:
                fault.count = size;
                break;
            case 1:
                fault.count = size > delta ? size - delta : 0;
                break;
            case 2:
                fault.count = size + delta;
                break;
            default:
                fault.count = data.ConsumeIntegral<DWORD>();
            }
        }
        reply = fault;
    }
    for (const auto& reply : in.replies)
        if (reply)
            in.setup.faults.push_back(*reply);
    return in;
}

[[noreturn]] void Violation(const char* what, const sim::Outcome& o) {
    std::fprintf(stderr, "device_id_fuzz: %s\n", what);
    for (const sim::Event& e : o.events)
        std::fprintf(stderr, "%s%s\n", e.kind == sim::EventKind::Trace ? "    . " : "  ",
                     e.text.c_str());
    std::abort();
}

// The text the program may see from one query: what the driver put in the buffer, no further
// than the count it reported or the buffer's end, up to the first zero byte.
std::string Delivered(const std::string& bytes, DWORD reported) {
    std::size_t size = bytes.size();
    if (size > DeviceIdMax)
        size = DeviceIdMax;
    if (reported < size)
        size = reported;
    std::string text = bytes.substr(0, size);
    return text.substr(0, text.find('\0'));
}

// What an honest driver delivers from the printer on a port (nothing without a printer).
std::string HonestReply(const Input& in, const sim::Outcome& o, int port, bool afterWrite) {
    const auto& printer = in.setup.ports[port].printer;
    if (!printer)
        return "";
    std::string id =
        afterWrite ? o.printerIds[port] : printer->id.value_or(std::string(sim::FactoryDeviceId));
    const std::string record(reinterpret_cast<const char*>(DeviceIdRecord.data()), RecordSize);
    if (afterWrite && printer->kind == sim::PrinterKind::Prefixed &&
        o.portBytes[port].find(record) != std::string::npos) {
        const std::size_t length = id.size() + 2;
        id = std::string(1, static_cast<char>((length >> 8) & 0xFF)) +
             static_cast<char>(length & 0xFF) + id;
    }
    return Delivered(id, static_cast<DWORD>(id.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const Input in = Decode(data);
    const sim::Outcome o = sim::RunInProcess(in.setup, [] {
        UpdateDeviceID();
        return 0;
    });

    if (o.stuck)
        Violation("the run got stuck", o);
    if (o.messageBoxes.size() != 1)
        Violation("not exactly one message box", o);
    for (const sim::PortHandleRecord& h : o.portHandles)
        if (h.closes != 1)
            Violation("a port handle not closed exactly once", o);

    // Replay the search on what each query delivered.
    int query = 0;
    int found = -1;
    for (int port = 0; port < sim::PortCount && found < 0; ++port) {
        if (!in.setup.ports[port].present)
            continue;
        const std::optional<sim::FaultSetup>& fault = in.replies[query++];
        std::string text;
        if (fault && fault->kind == sim::FaultKind::Reply)
            text = Delivered(fault->bytes, fault->count);
        else if (!fault)
            text = HonestReply(in, o, port, false);
        if (text.find(ModelKey) != std::string::npos)
            found = port;
    }
    for (int port = 0; port < sim::PortCount; ++port)
        if (port != found && !o.portBytes[port].empty())
            Violation("bytes reached a port the search did not find", o);

    const std::string& caption = o.messageBoxes[0].caption;
    const std::string& message = o.messageBoxes[0].text;
    const bool success = message == "Printer Device ID successfully updated";
    if (found < 0) {
        if (message.rfind("Could not find", 0) != 0)
            Violation("no port carries the model, yet the run did not say so", o);
        return 0;
    }
    if (o.portBytes[found].empty() && in.setup.ports[found].printer)
        Violation("the found port received nothing", o);
    if (success) {
        const std::optional<sim::FaultSetup>& fault =
            query < Queries ? in.replies[query] : std::optional<sim::FaultSetup>();
        std::string readBack;
        if (fault && fault->kind == sim::FaultKind::Reply)
            readBack = Delivered(fault->bytes, fault->count);
        else if (!fault)
            readBack = HonestReply(in, o, found, true);
        if (readBack != ExpectedIdText.data())
            Violation("success reported, but the read-back did not deliver the new ID", o);
        if (caption != "Success")
            Violation("success under the wrong caption", o);
    }
    return 0;
}
