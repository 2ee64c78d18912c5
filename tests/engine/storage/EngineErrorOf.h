// Engine tests: what an action raises, as text, for comparing with the exact messages.
#pragma once

#include <string>

#include "engine/storage/ZEVExcept.h"

// The message of the EABSException that Action raises (its native code into NativeError when
// given), or "" when it raises none. Other exceptions pass through.
template <class F>
std::string errorOf(F&& Action, int* NativeError = nullptr) {
  try {
    Action();
  } catch (const EABSException& e) {
    if (NativeError) *NativeError = e.NativeError();
    return e.Message();
  }
  return "";
}
