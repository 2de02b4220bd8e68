// Message texts of the GIF codec, written once.
#pragma once

namespace gif_texts {

// Fatal (GIFException) and warning texts.
inline constexpr const char* kInvalidSignature = "Invalid GIF signature";
inline constexpr const char* kUnsupportedVersion = "Unsupported GIF version";
inline constexpr const char* kPrematureEnd = "Premature end of data";
inline constexpr const char* kUnknownExtension = "Unknown extension type";
inline constexpr const char* kInvalidIntroducer = "Invalid extension introducer";
inline constexpr const char* kExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* kAppExtBlockSize = "Unsupported Application Extension block size";
inline constexpr const char* kInvalidData = "Invalid GIF data";
inline constexpr const char* kColorTableOverflow = "Color table overflow";
inline constexpr const char* kInvalidColorIndex = "Invalid color index";
inline constexpr const char* kColorTableEmpty = "Color table is empty";
inline constexpr const char* kInvalidPixel = "Invalid pixel coordinates";
inline constexpr const char* kImageEmpty = "Image is empty";
inline constexpr const char* kUnknownBlock = "Unknown GIF block type";
inline constexpr const char* kExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* kWidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* kHeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* kInvalidTrailer = "Invalid Image trailer";
inline constexpr const char* kUnsupportedObject = "Object type not supported for operation";
inline constexpr const char* kNoColorTable = "No global or local color table defined";
inline constexpr const char* kClipboardFailed = "Failed to store GIF on clipboard";
inline constexpr const char* kInvalidReduction = "Invalid reduction method";
inline constexpr const char* kCircularEntry = "Circular decoder table entry";
inline constexpr const char* kColorNotInTable = "Color not in color table";
inline constexpr const char* kInvalidStreamOp = "Invalid stream operation";
inline constexpr const char* kBitBufferUnderrun = "Decoder bit buffer under-run";
inline constexpr const char* kUnsupportedPixelFormat = "Unsupported PixelFormat";
inline constexpr const char* kInvalidDimensions = "Invalid image dimensions";
inline constexpr const char* kNoDIB = "Image has no DIB";
inline constexpr const char* kDIBAlloc = "Failed to allocate memory for GIF DIB";
inline constexpr const char* kOutOfMemory = "Out of memory";

// Framework texts the codec raises with.
inline constexpr const char* kScanLineRange = "Scan line index out of range";
inline constexpr const char* kOutOfResources = "Out of system resources";
inline constexpr const char* kUnsupportedClipboard = "Unsupported clipboard format";

// Progress texts.
inline constexpr const char* kLoading = "Loading...";
inline constexpr const char* kSaving = "Saving...";
inline constexpr const char* kCopying = "Copying...";
inline constexpr const char* kOptimizing = "Optimizing...";
inline constexpr const char* kConverting = "Converting...";
inline constexpr const char* kRendering = "Rendering...";

// Names the module registers.
inline constexpr const char* kFormatName = "GIF Image";
inline constexpr const char* kExtension = "GIF";

}  // namespace gif_texts
