// The simulated PC's printers are the shared printer model.
#include "printer.h"

namespace sim {

const char* const FactoryDeviceId = QxPrinterFactoryId;

namespace {
int ModelKind(PrinterKind kind) {
    switch (kind) {
    case PrinterKind::Ignores:
        return QX_PRINTER_IGNORES;
    case PrinterKind::Pads:
        return QX_PRINTER_PADS;
    case PrinterKind::Prefixed:
        return QX_PRINTER_PREFIXED;
    case PrinterKind::Takes:
        break;
    }
    return QX_PRINTER_TAKES;
}
} // namespace

Printer::Printer(PrinterKind kind, const std::string& id) : model_() {
    QxPrinterInit(&model_, ModelKind(kind), id.data(), static_cast<unsigned>(id.size()));
}

void Printer::Receive(const std::string& bytes) {
    QxPrinterReceive(&model_, bytes.data(), static_cast<unsigned>(bytes.size()));
}

std::string Printer::Reply() const {
    char reply[QX_PRINTER_ID_MAX + 2];
    const unsigned n = QxPrinterReply(&model_, reply, sizeof reply);
    return std::string(reply, n);
}

} // namespace sim
