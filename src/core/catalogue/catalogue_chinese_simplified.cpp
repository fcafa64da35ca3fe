// Chinese (Simplified) texts of the message catalogue (Windows locale 2052).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"正在开始安装 ",
    /* 1 */ L"正在初始化 QuentaSwiftset 安装程序",
    /* 2 */ L"正在获取 QuentaSwiftset 连接数据",
    /* 3 */ L"正在生成 QuentaSwiftset 连接 URL",
    /* 4 */ L"正在生成配置参数",
    /* 5 */ L"正在从 %ls 下载配置文件",
    /* 6 */ L"正在验证配置文件",
    /* 7 */ L"正在解压缩配置文件",
    /* 8 */ L"正在从存储库下载安装文件",
    /* 9 */ L"正在验证代理安装文件 %ls",
    /* 10 */ L"正在解压缩代理安装程序二进制文件",
    /* 11 */ L"正在安装代理。这可能需要一段时间...",
    /* 12 */ L"正在进行安装后清理",
    /* 13 */ L"Quenta Agent 安装已完成。其他安全产品将根据您的组织管理的策略进行安装。",
    /* 14 */ L"正在中止操作。这可能需要一段时间...",
    /* 15 */ L"QuentaSwiftset 初始化失败",
    /* 16 */ L"获取 QuentaSwiftset 名称失败",
    /* 17 */ L"查找用于下载代理配置数据的 URL 时出错",
    /* 18 */ L"无法检索 FQDN 名称",
    /* 19 */ L"生成代理 GUID 失败",
    /* 20 */ L"正在生成用于获取配置数据的 URL",
    /* 21 */ L"生成用于获取配置数据的 URL 失败",
    /* 22 */ L"无法下载配置文件",
    /* 23 */ L"验证配置文件失败",
    /* 24 */ L"解压缩配置文件失败",
    /* 25 */ L"无法下载安装文件",
    /* 26 */ L"验证代理安装文件 %ls 失败",
    /* 27 */ L"解压缩安装文件失败",
    /* 28 */ L"代理安装未成功",
    /* 29 */ L"清理未完成",
    /* 30 */ L"代理 QuentaSwiftset 操作期间出错",
    /* 31 */ L"请求可能是使用无效或已过期的令牌代码发送的:响应: %ls",
    /* 32 */ L"与此 QuentaSwiftset 关联的使用次数可能已用完:响应: %ls",
    /* 33 */ L"配置请求响应代码: %ls",
    /* 34 */ L"Quenta Swiftset 帮助",
    /* 35 */
    L"\n"
    L"选项:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <数据路径>\t\t\t\n"
    L"QuentaSwiftset.exe -i <安装路径>\t\t\t\n"
    L"QuentaSwiftset.exe -g <调试日志>\t\t\t\n"
    L"QuentaSwiftset.exe -a <代理服务器地址>\t\t\t\n"
    L"QuentaSwiftset.exe -p <代理服务器端口>\t\t\t\n"
    L"QuentaSwiftset.exe -u <代理服务器用户名>\t\t\t\n"
    L"QuentaSwiftset.exe -w <代理服务器密码>\t\t\t\n"
    L"QuentaSwiftset.exe -k <禁用 HTTPS 对等验证>\t\t\t\n"
    L"QuentaSwiftset.exe -s <静默安装>\t\t\t\n"
    L"QuentaSwiftset.exe -v <告知代理处于 VDI 环境中>\t\t\t\n"
    L"QuentaSwiftset.exe -f <代理部署的强制安装选项>\t\t\t\n"
    L"QuentaSwiftset.exe -h <代理部署的强制安装（带 keepGUID 选项）>\t\t\t\n"
    L"QuentaSwiftset.exe -? <帮助>",
    /* 36 */
    L"\n"
    L"选项:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <数据路径>\t\t\t\n"
    L"QuentaSwiftset.sh -i <安装路径>\t\t\t\n"
    L"QuentaSwiftset.sh -g <调试日志>\t\t\t\n"
    L"QuentaSwiftset.sh -a <代理服务器地址>\t\t\t\n"
    L"QuentaSwiftset.sh -p <代理服务器端口>\t\t\t\n"
    L"QuentaSwiftset.sh -u <代理服务器用户名>\t\t\t\n"
    L"QuentaSwiftset.sh -w <代理服务器密码>\t\t\t\n"
    L"QuentaSwiftset.sh -k <禁用 HTTPS 对等验证>\t\t\t\n"
    L"QuentaSwiftset.sh -? <帮助>",
    /* 37 */ L"通过命令行传递的 GUID 无效\n",
    /* 38 */ L"正在尝试从对等方下载安装文件",
    /* 39 */ L"正在尝试直接从 Lumacore 下载文件",
    /* 40 */ L"无法通过代理服务器下载文件。正在使用中继",
    /* 41 */ L"无法直接从 Lumacore 下载文件。正在使用代理服务器",
    /* 42 */ L"无法通过中继下载文件。下载文件失败",
    /* 43 */ L"此程序需要 root 权限才能安装。安装程序无法继续",
    /* 44 */ L"可能有另一个实例正在运行。请稍候。",
    /* 45 */ L"代理升级未成功",
    /* 46 */ L"确定",
    /* 47 */ L"取消(&C)",
    /* 48 */ L"连接数据文件不存在",
    /* 49 */
    L"用法:- ./QuentaSwiftset.sh <选项>\n"
    L"运行 ./QuentaSwiftset.sh -? 可列出选项。",
    /* 50 */ L"取消",
    /* 51 */ L"下一步",
    /* 52 */ L"单击“下一步”继续安装",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Chinese (Simplified) holds ids 0-52");
}   // namespace

const message_table catalogue_chinese_simplified = {texts, sizeof texts / sizeof texts[0]};
