// Every text the update run shows or runs: status lines, message boxes and shell commands.
#pragma once

// Status lines and the y at which each is drawn.
constexpr int StatusOsY = 10;
constexpr int StatusChoiceY = 40;
constexpr int StatusPortY = 70;
constexpr int StatusOpenErrorY = 100;
constexpr int StatusWriteErrorY = 130;

constexpr char StatusOsNT[] = "OS = NT";
constexpr char StatusOs9X[] = "OS = 9X";
constexpr char StatusDialogSelected[] = "Dialog Selected";
constexpr char StatusSelectedFormat[] = "Selected %s";
constexpr char StatusSearchFormat[] = "CheckDeviceID ( ) = %d";
constexpr char StatusFoundFormat[] = "Found BRAXEL QX310 printer on %s";
constexpr char StatusOpenErrorFormat[] = "CreateFile error code = %d on port %s";
constexpr char StatusWriteErrorFormat[] = "Error %d writing to printer port %s";

// Message boxes.
constexpr char CaptionError[] = "ERROR";
constexpr char CaptionSuccessNT[] = "QX310WUP";
constexpr char CaptionSuccess9X[] = "Success";
constexpr char MessageNoPrinter[] =
    "Could not find BRAXEL QX310 printer !\n\nDevice ID not updated !";
constexpr char MessageOpenFailedFormat[] = "Could not open printer port %s";
constexpr char MessageWriteFailedFormat[] = "Error writing to printer port %s";
constexpr char MessageUpdated[] = "Printer Device ID successfully updated";
constexpr char MessageNotVerified[] = "Could not verify Device ID !\n\nDevice ID not updated !";
constexpr char MessageNoPortChosen[] = "No printer port selected !\n\nDevice ID not updated !";

// Shell commands; their output goes to a scratch file in the current directory.
constexpr char CommandStopSpooler[] = "net stop spooler > OstraneUpdate";
constexpr char CommandStartSpooler[] = "net start spooler > OstraneUpdate";
constexpr char CommandDeleteScratch[] = "del OstraneUpdate";
