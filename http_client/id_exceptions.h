// The exception tree of the HTTP client. Every failure of the subsystem is one of these,
// each with its fixed English message.
#pragma once

#include <cstdint>
#include <string>

#include "framework/core/exception.h"

KV_EXCEPTION(EIdException, Exception);

KV_EXCEPTION(EIdSilentException, EIdException);
KV_EXCEPTION(EIdConnClosedGracefully, EIdSilentException);
KV_EXCEPTION(EIdAlreadyConnected, EIdException);
KV_EXCEPTION(EIdClosedSocket, EIdException);
KV_EXCEPTION(EIdReadTimeout, EIdException);
KV_EXCEPTION(EIdReadLnMaxLineLengthExceeded, EIdException);
KV_EXCEPTION(EIdInvalidServiceName, EIdException);
KV_EXCEPTION(EIdConnectTimeout, EIdException);
KV_EXCEPTION(EIdConnectException, EIdException);
KV_EXCEPTION(EIdInvalidSocket, EIdException);

// A numbered reply that was not accepted.
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int32_t code, std::string text) : EIdException(std::move(text)), ReplyErrorCode(code) {}
  const char* ClassName() const override { return "EIdProtocolReplyError"; }
  int32_t ErrorCode() const { return ReplyErrorCode; }
  int32_t ReplyErrorCode;
};
KV_EXCEPTION(EIdSSLProtocolReplyError, EIdProtocolReplyError);

// An HTTP answer that ends the request: the message is the status line.
class EIdHTTPProtocolException : public EIdProtocolReplyError {
 public:
  EIdHTTPProtocolException(int32_t code, std::string status_line, std::string error_body)
      : EIdProtocolReplyError(code, std::move(status_line)), ErrorBody(std::move(error_body)) {}
  const char* ClassName() const override { return "EIdHTTPProtocolException"; }
  std::string ErrorBody;
};

KV_EXCEPTION(EIdSocksError, EIdException);
KV_EXCEPTION(EIdSocksRequestFailed, EIdSocksError);
KV_EXCEPTION(EIdSocksRequestServerFailed, EIdSocksError);
KV_EXCEPTION(EIdSocksRequestIdentFailed, EIdSocksError);
KV_EXCEPTION(EIdSocksUnknownError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerRespondError, EIdSocksError);
KV_EXCEPTION(EIdSocksAuthMethodError, EIdSocksError);
KV_EXCEPTION(EIdSocksAuthError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerGeneralError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerPermissionError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerNetUnreachableError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerHostUnreachableError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerConnectionRefusedError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerTTLExpiredError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerCommandError, EIdSocksError);
KV_EXCEPTION(EIdSocksServerAddressError, EIdSocksError);

// A failed socket call: "Socket Error # code\r\ntext".
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int32_t code, std::string text) : EIdException(std::move(text)), LastError(code) {}
  const char* ClassName() const override { return "EIdSocketError"; }
  int32_t LastError;
};

// The socket library could not be loaded, or an entry was called while it was not.
class EIdWS2StubError : public EIdException {
 public:
  EIdWS2StubError(int32_t win32_error, std::string win32_message, std::string title)
      : EIdException(win32_error != 0 ? title + ": " + win32_message : title),
        Win32Error(win32_error),
        Win32ErrorMessage(std::move(win32_message)),
        Title(std::move(title)) {}
  const char* ClassName() const override { return "EIdWS2StubError"; }
  int32_t Win32Error;
  std::string Win32ErrorMessage;
  std::string Title;
};

KV_EXCEPTION(EIdStackError, EIdException);
KV_EXCEPTION(EIdStackInitializationFailed, EIdStackError);
KV_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError);

// Socket handle and TCP client.
KV_EXCEPTION(EIdCouldNotBindSocket, EIdException);
KV_EXCEPTION(EIdInvalidPortRange, EIdException);
KV_EXCEPTION(EIdCanNotBindPortInRange, EIdException);

// Connection buffering.
KV_EXCEPTION(EIdNotConnected, EIdException);
KV_EXCEPTION(EIdNotEnoughDataInBuffer, EIdException);
KV_EXCEPTION(EIdNoDataToRead, EIdException);
KV_EXCEPTION(EIdFileNotFound, EIdException);

// URI and dates.
KV_EXCEPTION(EIdURIException, EIdException);
KV_EXCEPTION(EIdFailedToRetreiveTimeZoneInfo, EIdException);

// HTTP.
KV_EXCEPTION(EIdUnknownProtocol, EIdException);
KV_EXCEPTION(EIdIOHandlerPropInvalid, EIdException);
KV_EXCEPTION(EIdAlreadyRegisteredAuthenticationMethod, EIdException);

// TLS.
KV_EXCEPTION(EIdOpenSSLError, EIdException);
KV_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLModeNotSet, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLGetMethodError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLCreatingContextError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLLoadingRootCertError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLLoadingCertError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLLoadingKeyError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLSettingCipherError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLDataBindingError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLConnectError, EIdOpenSSLError);
KV_EXCEPTION(EIdOSSLAcceptError, EIdOpenSSLError);
