// Chinese (Traditional) texts of the message catalogue (Windows locale 1028).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"正在開始安裝 ",
    /* 1 */ L"正在初始化 QuentaSwiftset 安裝程式",
    /* 2 */ L"正在擷取 QuentaSwiftset 連線資料",
    /* 3 */ L"正在建立 QuentaSwiftset 連線 URL",
    /* 4 */ L"正在產生組態參數",
    /* 5 */ L"正在從 %ls 下載組態檔",
    /* 6 */ L"正在驗證組態檔",
    /* 7 */ L"正在解壓縮組態檔",
    /* 8 */ L"正在從存放庫下載安裝檔案",
    /* 9 */ L"正在驗證代理程式安裝檔案 %ls",
    /* 10 */ L"正在解壓縮代理程式安裝程式二進位檔",
    /* 11 */ L"正在安裝代理程式。這可能需要一些時間...",
    /* 12 */ L"正在進行安裝後的清理",
    /* 13 */ L"Quenta Agent 安裝已完成。其他安全性產品將依據貴組織所管理的原則進行安裝。",
    /* 14 */ L"正在中止作業。這可能需要一些時間...",
    /* 15 */ L"QuentaSwiftset 初始化失敗",
    /* 16 */ L"擷取 QuentaSwiftset 名稱失敗",
    /* 17 */ L"尋找用於下載代理程式組態資料的 URL 時發生錯誤",
    /* 18 */ L"無法擷取 FQDN 名稱",
    /* 19 */ L"產生代理程式 GUID 失敗",
    /* 20 */ L"正在產生用於擷取組態資料的 URL",
    /* 21 */ L"產生用於擷取組態資料的 URL 失敗",
    /* 22 */ L"無法下載組態檔",
    /* 23 */ L"驗證組態檔失敗",
    /* 24 */ L"解壓縮組態檔失敗",
    /* 25 */ L"無法下載安裝檔案",
    /* 26 */ L"驗證代理程式安裝檔案 %ls 失敗",
    /* 27 */ L"解壓縮安裝檔案失敗",
    /* 28 */ L"代理程式安裝未成功",
    /* 29 */ L"清理未完成",
    /* 30 */ L"代理程式 QuentaSwiftset 作業期間發生錯誤",
    /* 31 */ L"要求可能是以無效或已過期的權杖代碼傳送:回應: %ls",
    /* 32 */ L"與此 QuentaSwiftset 相關的使用次數可能已用完:回應: %ls",
    /* 33 */ L"組態要求回應碼: %ls",
    /* 34 */ L"Quenta Swiftset 說明",
    /* 35 */
    L"\n"
    L"選項:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <資料路徑>\t\t\t\n"
    L"QuentaSwiftset.exe -i <安裝路徑>\t\t\t\n"
    L"QuentaSwiftset.exe -g <偵錯記錄>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Proxy 位址>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Proxy 連接埠>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Proxy 使用者名稱>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Proxy 密碼>\t\t\t\n"
    L"QuentaSwiftset.exe -k <停用 HTTPS 對等驗證>\t\t\t\n"
    L"QuentaSwiftset.exe -s <無訊息安裝>\t\t\t\n"
    L"QuentaSwiftset.exe -v <告知代理程式處於 VDI 環境>\t\t\t\n"
    L"QuentaSwiftset.exe -f <代理程式部署的強制安裝選項>\t\t\t\n"
    L"QuentaSwiftset.exe -h <代理程式部署的強制安裝（含 keepGUID 選項）>\t\t\t\n"
    L"QuentaSwiftset.exe -? <說明>",
    /* 36 */
    L"\n"
    L"選項:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <資料路徑>\t\t\t\n"
    L"QuentaSwiftset.sh -i <安裝路徑>\t\t\t\n"
    L"QuentaSwiftset.sh -g <偵錯記錄>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Proxy 位址>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Proxy 連接埠>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Proxy 使用者名稱>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Proxy 密碼>\t\t\t\n"
    L"QuentaSwiftset.sh -k <停用 HTTPS 對等驗證>\t\t\t\n"
    L"QuentaSwiftset.sh -? <說明>",
    /* 37 */ L"透過命令列傳遞的 GUID 無效\n",
    /* 38 */ L"正在嘗試從對等電腦下載安裝檔案",
    /* 39 */ L"正在嘗試直接從 Lumacore 下載檔案",
    /* 40 */ L"無法透過 Proxy 下載檔案。正在使用轉送伺服器",
    /* 41 */ L"無法直接從 Lumacore 下載檔案。正在使用 Proxy",
    /* 42 */ L"無法透過轉送伺服器下載檔案。下載檔案失敗",
    /* 43 */ L"此程式需要 root 權限才能安裝。安裝程式無法繼續",
    /* 44 */ L"可能有另一個執行個體正在執行。請稍候。",
    /* 45 */ L"代理程式升級未成功",
    /* 46 */ L"確定",
    /* 47 */ L"取消(&C)",
    /* 48 */ L"連線資料檔案不存在",
    /* 49 */
    L"用法:- ./QuentaSwiftset.sh <選項>\n"
    L"執行 ./QuentaSwiftset.sh -? 可列出選項。",
    /* 50 */ L"取消",
    /* 51 */ L"下一步",
    /* 52 */ L"按一下「下一步」繼續安裝",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Chinese (Traditional) holds ids 0-52");
}   // namespace

const message_table catalogue_chinese_traditional = {texts, sizeof texts / sizeof texts[0]};
