// A printer on a parallel port, as the program's update record reaches it.
#pragma once

#include <string>

#include "sim.h"

namespace sim {

// The ID a Velmor-2600 reports before it is updated.
extern const char* const FactoryDeviceId;

class Printer {
  public:
    Printer(PrinterKind kind, std::string id);

    // Bytes arriving from the port; a complete, well-formed update record changes the ID.
    void Receive(const std::string& bytes);
    // The reply to the device ID query.
    std::string Reply() const;
    const std::string& Id() const { return id_; }
    bool TookRecord() const { return took_; }

  private:
    PrinterKind kind_;
    std::string id_;
    std::string input_;
    bool took_ = false;
};

} // namespace sim
