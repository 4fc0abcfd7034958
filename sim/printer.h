// A printer on a parallel port, as the program's update record reaches it: the shared printer
// model, held for the simulated PC.
#pragma once

#include <string>

#include "printer_model.h"
#include "sim.h"

namespace sim {

// The ID a Velmor-2600 reports before it is updated.
extern const char* const FactoryDeviceId;

class Printer {
  public:
    Printer(PrinterKind kind, const std::string& id);

    // Bytes arriving from the port; a complete, well-formed update record changes the ID.
    void Receive(const std::string& bytes);
    // The reply to the device ID query.
    std::string Reply() const;
    std::string Id() const { return std::string(model_.id, model_.idLength); }
    bool TookRecord() const { return model_.took != 0; }

  private:
    QxPrinter model_;
};

} // namespace sim
