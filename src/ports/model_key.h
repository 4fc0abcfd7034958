// The model key: the model text a printer of the kind the tool updates reports in its device ID
// before the update. Free of the platform's headers, so every program that looks for the printer
// shares it.
#pragma once

constexpr char ModelKey[] = "MODEL:Velmor-2600";
