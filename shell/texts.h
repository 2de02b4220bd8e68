// The shell's own texts, written once (UTF-8) and converted where they meet ANSI or
// wide strings.
#pragma once

namespace shell_texts {

// The configuration file.
inline constexpr const char* kConfigMissing = "未找到配置文件，应用程序已经损坏，请卸载后重新安装！";
inline constexpr const char* kUnequalItemLists = "要保存的配置参数格式不正确，三个部分的数量不相等！";

}  // namespace shell_texts
