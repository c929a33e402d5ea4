// Resource identifiers of the source dialog's form (SourceDialog.rc).
#pragma once

#define SOURCEDIALOGFORM_TEMPLATE L"TSOURCEDIALOGFORM"

// OkButton is IDOK (the default button, Enter) and CancelButton IDCANCEL (Esc).
#define IDC_SD_OKBUTTON          1
#define IDC_SD_CANCELBUTTON      2
#define IDC_SD_LABEL2            2001
#define IDC_SD_SOURCETREEVIEW    2002
#define IDC_SD_LABEL1            2003
#define IDC_SD_RELATIONCOMBOBOX  2004
