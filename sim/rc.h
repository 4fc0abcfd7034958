// Dialog templates read from the program's resource script, as the resource compiler reads them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "machine.h"

namespace sim {

struct DialogTemplate {
    int id = 0;
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    int fontSize = 0;
    std::string fontFace;
    std::vector<Control> controls;
};

// Parses the DIALOG resource with the given id from a script, resolving names through the
// #defines of the header and the platform's own constants. Throws std::runtime_error with the
// line on a script it cannot read.
std::optional<DialogTemplate> ParseDialog(const std::string& script, const std::string& header,
                                          int id);

// The dialog from the program's own resource script.
std::optional<DialogTemplate> ProgramDialog(int id);

} // namespace sim
