// The download manager's texts: the engine's message texts (resource strings 65200 to
// 65231 of Korvane) and the Chinese texts of the download windows, written once here.
#pragma once

#include "framework/core/sysutils.h"

// Engine texts by their resource ids.
enum TEngineTextId {
  sTimeFormat = 65200,
  sKbPerSec = 65201,
  sRegisterBsc = 65202,
  sRegisterMoniker = 65203,
  sRevokeBsc = 65204,
  sBindToStorage = 65216,
  sCreateBindCtx = 65217,
  sCreateMoniker = 65218,
  sDownloadsFolder = 65219,
  sDone = 65220,
  sUrlDownloadToFile = 65221,
  sErrCreateBindCtx = 65222,
  sErrBindToStorage = 65223,
  sErrCreateFolder = 65224,
  sErrOpenFolder = 65225,
  sErrProcessEvents = 65226,
  sErrRegisterBsc = 65227,
  sErrRevokeBsc = 65228,
  sErrUrlDownloadToFile = 65229,
  sErrTimeOut = 65230,
  sErrCreateMoniker = 65231,
};

// The text of an engine text id; ids 65205 to 65215 and unknown ids give "".
const char* EngineText(int id);

// The windows' Chinese texts (UTF-8; converted where they meet ANSI or wide strings).
namespace dltext {
inline constexpr const char* kDownloadFormCaption = "下载进度";
inline constexpr const char* kCancelAll = "全部取消";
inline constexpr const char* kCloseWhenDone = "下载完成后关闭窗口.";
inline constexpr const char* kRemoveCompleted = "从列表中移除已下载完成项";
inline constexpr const char* kOpenWhenDone = "下载完成后立即打开";
inline constexpr const char* kColFile = "文件";
inline constexpr const char* kColStatus = "状态";
inline constexpr const char* kColSize = "大小";
inline constexpr const char* kColProgress = "进度";
inline constexpr const char* kColSpeed = "速度";
inline constexpr const char* kColRemaining = "剩余";
inline constexpr const char* kColThreadId = "线程ID";
inline constexpr const char* kColConnections = "活动连接";
inline constexpr const char* kColProgressBar = "进度条";
inline constexpr const char* kWaiting = "等待中...";
inline constexpr const char* kResuming = "正在恢复...";
inline constexpr const char* kUnknown = "未知";
inline constexpr const char* kCompleted = "完成";
inline constexpr const char* kClose = "关闭";
inline constexpr const char* kStillActive = "还有线程处于活动状态，真的要退出吗？";

inline constexpr const char* kDownloaderCaption = "导出进度";
inline constexpr const char* kExporting = "正在导出";
inline constexpr const char* kExportDone = "导出完成.";
inline constexpr const char* kLabelName = "文件名:";
inline constexpr const char* kLabelType = "类型:";
inline constexpr const char* kLabelSize = "大小:";
inline constexpr const char* kLabelFrom = "地址:";
inline constexpr const char* kProgressHint = "下载进度";
inline constexpr const char* kAutoCloseExport = "导出完毕自动关闭";
inline constexpr const char* kOpenFolderExport = "导出后打开所在文件夹";
inline constexpr const char* kExportProgress = "导出进度: ";
inline constexpr const char* kExportedFile = "已导出文件: ";
inline constexpr const char* kSaveFolder = "保存目录:   ";
inline constexpr const char* kFileName = "文件名:     ";
inline constexpr const char* kFileSize = "文件大小:   ";

inline constexpr const char* kRequestCaption = "选择处理方式";
inline constexpr const char* kOpen = "打开";
inline constexpr const char* kSave = "保存";
inline constexpr const char* kCancel = "取消";

inline constexpr const char* kNoAviMpg = "禁止下载Avi和Mpg文件";
}  // namespace dltext
