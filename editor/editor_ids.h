/* Dialog template and control ids of the editor; shared by the resource
   script and the code, so plain C preprocessor only. */
#ifndef LARKWIRE_EDITOR_IDS_H
#define LARKWIRE_EDITOR_IDS_H

#define IDD_LARKWIRE_EDITOR 101
#define IDC_DESTINATION 1015
#define IDC_RECEIVE 1024
#define IDC_SEND 1025
#define IDC_IDENTIFIER 1027
#define IDC_SEND_CHANNELS 1028
#define IDC_CHANNELS_LABEL 1029
#define IDC_ENABLED 1030
#define IDC_LEVEL_METER 1089

#endif
