// Resource identifiers of the statistics wizard's form (NewFieldFillSchemeWizard.rc).
#pragma once

#define NEWFIELDFILLSCHEMEWIZARD_TEMPLATE L"NEWFIELDFILLSCHEMEWIZARD"

// Buttons under the pages. CancelButton is IDCANCEL, so that Esc presses it.
#define IDC_WZ_BACKBUTTON                 1001
#define IDC_WZ_NEXTBUTTON                 1002
#define IDC_WZ_CANCELBUTTON               2

// FieldTabSheet
#define IDC_WZ_FIELDTREEVIEW              1010

// SourceTabSheet
#define IDC_WZ_LABEL2                     1020
#define IDC_WZ_SOURCELISTVIEW             1021
#define IDC_WZ_ADDSOURCEBUTTON            1022
#define IDC_WZ_EDITSOURCEBUTTON           1023
#define IDC_WZ_DELETESOURCEBUTTON         1024
#define IDC_WZ_LABEL1                     1025
#define IDC_WZ_STATFUNCTIONCOMBOBOX       1026

// ProcessTabSheet
#define IDC_WZ_FILLOBJECTSPROGRESSLABEL   1030
#define IDC_WZ_FILLOBJECTSPROGRESSBAR     1031
#define IDC_WZ_SOURCEOBJECTSPROGRESSLABEL 1032
#define IDC_WZ_SOURCEOBJECTSPROGRESSBAR   1033

// The page control and its three pages.
#define IDC_WZ_MAINPAGECONTROL            1040
#define IDC_WZ_FIELDTABSHEET              1041
#define IDC_WZ_SOURCETABSHEET             1042
#define IDC_WZ_PROCESSTABSHEET            1043

// The header and the two lines.
#define IDC_WZ_PANEL                      1050
#define IDC_WZ_HEADERLABEL                1051
#define IDC_WZ_HEADERTEXTLABEL            1052
#define IDC_WZ_BEVEL1                     1053
#define IDC_WZ_BEVEL2                     1054
