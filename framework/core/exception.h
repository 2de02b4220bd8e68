// The framework's exception tree.
//
// Every error inside a module is an exception derived from Exception. ClassName() gives
// the class's own name (messages show it to the user, "错误类型：" + ClassName()), so each
// class declares it through KV_EXCEPTION.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  ~Exception() override = default;

  // The message in the ANSI code page, as the framework keeps it.
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  virtual const char* ClassName() const { return "Exception"; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Declares `Name`, derived from `Base`, with the base's constructors and its own ClassName.
#define KV_EXCEPTION(Name, Base)                             \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    const char* ClassName() const override { return #Name; } \
  }

KV_EXCEPTION(EAbort, Exception);
KV_EXCEPTION(EConvertError, Exception);
KV_EXCEPTION(EOutOfMemory, Exception);
KV_EXCEPTION(EInvalidOperation, Exception);
KV_EXCEPTION(EInvalidPointer, Exception);
KV_EXCEPTION(EInvalidGraphic, Exception);
KV_EXCEPTION(EInvalidGraphicOperation, Exception);
KV_EXCEPTION(EListError, Exception);
KV_EXCEPTION(EStringListError, Exception);
KV_EXCEPTION(EStreamError, Exception);
KV_EXCEPTION(EFCreateError, EStreamError);
KV_EXCEPTION(EFOpenError, EStreamError);
KV_EXCEPTION(EReadError, EStreamError);
KV_EXCEPTION(EWriteError, EStreamError);
KV_EXCEPTION(EVariantError, Exception);
KV_EXCEPTION(EThread, Exception);
KV_EXCEPTION(EComponentError, Exception);
KV_EXCEPTION(EIniFileException, Exception);
KV_EXCEPTION(EInOutError, Exception);

// An operating-system failure, with the platform's error code.
class EOSError : public Exception {
 public:
  EOSError(std::string message, unsigned error_code) : Exception(std::move(message)), ErrorCode(error_code) {}
  const char* ClassName() const override { return "EOSError"; }
  unsigned ErrorCode;
};
