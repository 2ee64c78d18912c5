#include "engine/tables/DBError.h"

namespace zev {

void DatabaseError(const AnsiString& Message, const TComponent* Component) {
  if (Component && !Component->GetName().empty()) {
    throw EDatabaseError(Component->GetName() + ": " + Message);
  }
  throw EDatabaseError(Message);
}

void DatabaseErrorFmt(const AnsiString& FormatText, std::initializer_list<TFormatArg> Args,
                      const TComponent* Component) {
  DatabaseError(Format(FormatText, Args), Component);
}

}  // namespace zev
