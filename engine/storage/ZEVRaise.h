// Raising an engine error from its entry in the table of native messages.
#pragma once

#include <initializer_list>

#include "engine/storage/ZEVErrorCodes.h"
#include "engine/storage/ZEVExcept.h"

namespace zev::errors {

[[noreturn]] inline void Raise(const TNativeMessage& Message) {
  throw EABSException(Message.Code, Message.Text);
}

[[noreturn]] inline void Raise(const TNativeMessage& Message,
                               std::initializer_list<TFormatArg> Args) {
  throw EABSException(Message.Code, Message.Text, Args);
}

}  // namespace zev::errors
