// The shell's own texts, written once (UTF-8) and converted where they meet ANSI or
// wide strings.
#pragma once

namespace shell_texts {

// The configuration file.
inline constexpr const char* kConfigMissing = "未找到配置文件，应用程序已经损坏，请卸载后重新安装！";
inline constexpr const char* kUnequalItemLists = "要保存的配置参数格式不正确，三个部分的数量不相等！";

// The configuration page.
inline constexpr const char* kConfigFormMissing =
    "在当前界面没有找到配置表单标记，配置界面可能有错，请与我们的技术支持人员联系。";
inline constexpr const char* kConfigFieldsMissing =
    "当前界面没有找到配置项，配置界面可能有错，请与我们的技术支持人员联系。";
inline constexpr const char* kConfigSaved =
    "系统参数保存成功，程序重启后配置参数生效。\n\r\n\r点击“OK”按钮后将退出程序，请重新启动。";
inline constexpr const char* kConfigSaveFailed = "系统参数保存失败，配置参数没有写入配置文件。";
inline constexpr const char* kConfigIncomplete = "配置参数不完整，请重新配置。";

// The program and its main window.
inline constexpr const char* kProductTitle = "Velmora网上开票";
inline constexpr const char* kConfigCaption = "配置运行参数";
inline constexpr const char* kLoginCaption = "登录";
inline constexpr const char* kConfigPageMissing = "找不到配置页面文件：";
inline constexpr const char* kReinstall = "\n应用程序已经损坏，请卸载后重新安装！";
inline constexpr const char* kMutexFailed = "创建互斥对象失败!";
inline constexpr const char* kErrorCaption = "错误";
inline constexpr const char* kAlreadyRunning = "Velmora已经运行了，不能同时运行多个!";
inline constexpr const char* kCloseCaption = "关闭";
inline constexpr const char* kBack = "后退";
inline constexpr const char* kForward = "前进";
inline constexpr const char* kStop = "停止";
inline constexpr const char* kRefresh = "刷新";
inline constexpr const char* kHome = "主页";
inline constexpr const char* kGo = "转到";

}  // namespace shell_texts
