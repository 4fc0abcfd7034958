// The device ID update run.
#pragma once

#include <windows.h>

#include "app/platform.h"

void UpdateDeviceID();
