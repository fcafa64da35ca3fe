// Identifiers shared by the resource script and the dialog code. Plain #defines: the resource
// compiler reads this file too.
#pragma once

#define QSW_DIALOG_PROGRESS 101
#define QSW_ICON_MAIN 102
#define QSW_BITMAP_BANNER 103
#define QSW_DIALOG_CREDENTIALS 105
#define QSW_DIALOG_WELCOME 106

#define QSW_CONTROL_PROGRESS_BAR 1001
#define QSW_CONTROL_INITIALIZING 1002
#define QSW_CONTROL_TEXT 1003
#define QSW_CONTROL_PASSWORD 1004
#define QSW_CONTROL_NEXT 1005
#define QSW_CONTROL_USER_LABEL 1006
#define QSW_CONTROL_PASSWORD_LABEL 1007
