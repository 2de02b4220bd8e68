// The print control's own texts, written once (UTF-8) and converted where they meet
// ANSI or wide strings.
#pragma once

namespace zorbel_texts {

// Debug boxes of a failed print.
inline constexpr const char* kErrorClass = "错误类型：";
inline constexpr const char* kErrorMessage = "错误信息: ";

// Picture items.
inline constexpr const char* kUnsupportedPictureOpen = "不支持的图片格式[";
inline constexpr const char* kUnsupportedPictureClose = "]。";

// Printer identity calls.
inline constexpr const char* kQuenlowMissing = "Quenlow.dll没有找到";
inline constexpr const char* kExportMissing = "函数没有找到,可能是动态库版本不对，请与打印机厂商联系。";
inline constexpr const char* kNameState = "取打印机名称调用状态如下：\r\n返回值是：";
inline constexpr const char* kNameLength = "打印机名称长度：";
inline constexpr const char* kNameText = "打印机名称：";
inline constexpr const char* kNumState = "取打印机序号调用状态如下：\r\n返回值是：";
inline constexpr const char* kNumLength = "打印机序号长度：";
inline constexpr const char* kNumText = "打印机序号：";

// The about box.
inline constexpr const char* kAboutCaption = "关于本控件";
inline constexpr const char* kAboutName = "Zorbel 套打控件";
inline constexpr const char* kAboutDescription =
    "本控件在网页中把发票内容套打到预先印制的发票纸上：\r\n"
    "文字、直线和图片按毫米位置打印，纸张与偏移由网页设定；\r\n"
    "打印失败时，网页通过 ErrorNum 和 ErrorMessage 得到原因。\r\n"
    "控件还能读出所连接打印机的型号和序号。";
inline constexpr const char* kAboutCopyright = "版权所有 (C) Zorbel 开发组";
inline constexpr const char* kAboutClose = "关闭";

}  // namespace zorbel_texts
