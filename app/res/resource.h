// Control ids of the main dialog (its controls are named "id<id>") and its timers.
#pragma once

inline constexpr int IDC_HOST = 1001;
inline constexpr int IDC_LOGIN = 1002;
inline constexpr int IDC_PASSWORD = 1003;
inline constexpr int IDC_PORT = 1004;
inline constexpr int IDC_CONNECT = 1005;
inline constexpr int IDC_PASSIVE = 1006;
inline constexpr int IDC_HISTORY = 1007;
inline constexpr int IDC_COMMAND = 1026;
inline constexpr int IDC_GROUP = 1027;
inline constexpr int IDC_EXECUTE_USER = 1032;
inline constexpr int IDC_RESET_ON_CHANGE = 1035;
inline constexpr int IDC_ANTI_IDLE = 1037;
inline constexpr int IDC_RESET_PARAMS = 1038;
inline constexpr int IDC_AUTO_SITE = 1039;
inline constexpr int IDC_ANTI_IDLE_COMMAND = 1040;
inline constexpr int IDC_ANTI_IDLE_INTERVAL = 1041;
inline constexpr int IDC_RAW_COMMAND = 1042;
inline constexpr int IDC_EXECUTE_RAW = 1043;
inline constexpr int IDC_TLS = 1044;
inline constexpr int IDC_OUTPUT = 1052;
inline constexpr int IDC_PARAM_LABEL_FIRST = 1100;  // 1100 ... 1108
inline constexpr int IDC_PARAM_FIRST = 1200;        // 1200 ... 1208
inline constexpr int IDC_SITE_FIRST = 1300;         // one per site action, in the table's order
inline constexpr int IDC_OK = 1;                    // hidden; kept where the design has it

inline constexpr unsigned TIMER_STARTUP = 1;
inline constexpr unsigned TIMER_ANTI_IDLE = 2;
