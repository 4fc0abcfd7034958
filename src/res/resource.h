// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_PORTDIALOG 101
#define IDC_LPT1 1000
#define IDC_LPT2 1001
#define IDC_LPT3 1002
