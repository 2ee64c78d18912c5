// The engine's exception classes.
//
// Exception is the common base of every error the engine and the module raise: it carries a
// message and nothing else. EABSException is the engine's internal error: the message is the
// text, " - Native error: " and the native code. Its two constructors differ in how the code is
// printed: from a text the code takes "%.5d" (zero-padded), from a format and arguments "%5d"
// (blank-padded); a format that does not fit its arguments leaves the unformatted text followed
// by " Arguments are invalid!".
#pragma once

#include <exception>
#include <initializer_list>

#include "engine/storage/ZEVFormat.h"

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString Message) : FMessage(std::move(Message)) {}
  const AnsiString& Message() const { return FMessage; }
  void SetMessage(AnsiString Message) { FMessage = std::move(Message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  AnsiString FMessage;
};

// Raised by Format when a format text does not fit its arguments.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class EABSException : public Exception {
 public:
  EABSException(int NativeError, const AnsiString& Message);
  EABSException(int NativeError, const AnsiString& FormatText,
                std::initializer_list<TFormatArg> Args);
  int NativeError() const { return FNativeError; }

 private:
  int FNativeError;
};
