// Last error, system message texts and the errno mapping.
#include "platform/base/error.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/system.h"

namespace {

thread_local DWORD t_last_error = 0;

struct MessageText {
  DWORD code;
  const char* text;
};

// The platform's English texts of the codes the system uses.
constexpr MessageText kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {111, "The file name is too long."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {288, "Attempt to release mutex not owned by caller."},
    {995,
     "The I/O operation has been aborted because of either a thread exit or an "
     "application request."},
    {996, "Overlapped I/O event is not in a signaled state."},
    {997, "Overlapped I/O operation is in progress."},
    {998, "Invalid access to memory location."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1167, "The device is not connected."},
    {1168, "Element not found."},
    {1460, "This operation returned because the timeout period expired."},
    // The socket layer's codes.
    {10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, "The file handle supplied is not valid."},
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014,
     "The system detected an invalid pointer address in attempting to use a pointer "
     "argument in a call."},
    {10022, "An invalid argument was supplied."},
    {10024, "Too many open sockets."},
    {10035, "A non-blocking socket operation could not be completed immediately."},
    {10036, "A blocking operation is currently executing."},
    {10038, "An operation was attempted on something that is not a socket."},
    {10048,
     "Only one usage of each socket address (protocol/network address/port) is normally "
     "permitted."},
    {10049, "The requested address is not valid in its context."},
    {10050, "A socket operation encountered a dead network."},
    {10051, "A socket operation was attempted to an unreachable network."},
    {10053, "An established connection was aborted by the software in your host machine."},
    {10054, "An existing connection was forcibly closed by the remote host."},
    {10057,
     "A request to send or receive data was disallowed because the socket is not "
     "connected and (when sending on a datagram socket using a sendto call) no address "
     "was supplied."},
    {10060,
     "A connection attempt failed because the connected party did not properly respond "
     "after a period of time, or established connection failed because connected host "
     "has failed to respond."},
    {10061, "No connection could be made because the target machine actively refused it."},
    {10065, "A socket operation was attempted to an unreachable host."},
    {10093, "Either the application has not called WSAStartup, or WSAStartup failed."},
    {11001, "No such host is known."},
    {11004, "The requested name is valid, but no data of the requested type was found."},
    // The internet layer's codes.
    {12002, "The operation timed out"},
    {12005, "The URL is invalid"},
    {12006, "The URL does not use a recognized protocol"},
    {12007, "The server name or address could not be resolved"},
    {12029, "A connection with the server could not be established"},
};

const char* FindText(DWORD code) {
  for (const auto& m : kMessages) {
    if (m.code == code) return m.text;
  }
  return nullptr;
}

constexpr DWORD kSupportedFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                  FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_MAX_WIDTH_MASK;

// Common part of the A and W forms: the text as UTF-16, or nullopt-like empty with the
// last error set.
bool SystemText(DWORD flags, DWORD id, std::u16string* out) {
  const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~kSupportedFlags) != 0 ||
      (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const char* text = FindText(id);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return false;
  }
  // The texts end in a line break; with the width mask all breaks become spaces.
  std::string s = std::string(text) + (width ? " " : "\r\n");
  out->assign(s.begin(), s.end());  // the texts are ASCII
  return true;
}

template <class Char>
DWORD Deliver(DWORD flags, const std::basic_string<Char>& text, Char* buffer, DWORD size) {
  const size_t n = text.size();
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if (!buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    size_t chars = n + 1 > size ? n + 1 : size;
    auto* mem = static_cast<Char*>(LocalAlloc(LPTR, chars * sizeof(Char)));
    if (!mem) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(mem, text.data(), n * sizeof(Char));
    mem[n] = 0;
    *reinterpret_cast<Char**>(buffer) = mem;
    return static_cast<DWORD>(n);
  }
  if (!buffer || size < n + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, text.data(), n * sizeof(Char));
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

}  // namespace

extern "C" {

void SetLastError(DWORD error) { t_last_error = error; }
DWORD GetLastError(void) { return t_last_error; }

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size, void*) {
  std::u16string wide;
  if (!SystemText(flags, message_id, &wide)) return 0;
  std::string text(wide.begin(), wide.end());
  return Deliver<char>(flags, text, buffer, size);
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPWSTR buffer, DWORD size, void*) {
  std::u16string text;
  if (!SystemText(flags, message_id, &text)) return 0;
  return Deliver<char16_t>(flags, text, buffer, size);
}

DWORD KvErrnoToError(int e) {
  switch (e) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC: return ERROR_BAD_FORMAT;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP: return ERROR_INVALID_NAME;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSYS: return ERROR_CALL_NOT_IMPLEMENTED;
    case EOPNOTSUPP:
#if EOPNOTSUPP != ENOTSUP
    case ENOTSUP:
#endif
    case ENOTTY: return ERROR_NOT_SUPPORTED;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case ENODEV:
    case ENXIO: return ERROR_DEVICE_NOT_CONNECTED;
    case ECANCELED: return ERROR_OPERATION_ABORTED;
    case EFAULT: return ERROR_NOACCESS;
    case EILSEQ: return ERROR_NO_UNICODE_TRANSLATION;
    case EIO:
    default: return ERROR_GEN_FAILURE;
  }
}

}  // extern "C"
