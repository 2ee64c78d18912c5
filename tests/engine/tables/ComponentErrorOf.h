// Component tests: what an action raises as a component error, as text.
#pragma once

#include <string>

#include "engine/tables/DBError.h"

// The message of the EDatabaseError that Action raises, or "" when it raises none. Other
// exceptions pass through.
template <class F>
std::string componentErrorOf(F&& Action) {
  try {
    Action();
  } catch (const zev::EDatabaseError& e) {
    return e.Message();
  }
  return "";
}
