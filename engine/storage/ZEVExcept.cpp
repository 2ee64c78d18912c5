#include "engine/storage/ZEVExcept.h"

namespace {

AnsiString FormattedOrInvalid(const AnsiString& FormatText,
                              std::initializer_list<TFormatArg> Args) {
  try {
    return zev::Format(FormatText, Args);
  } catch (const EConvertError&) {
    return FormatText + " Arguments are invalid!";
  }
}

}  // namespace

EABSException::EABSException(int NativeError, const AnsiString& Message)
    : Exception(Message + " - Native error: " + zev::Format("%.5d", {NativeError})),
      FNativeError(NativeError) {}

EABSException::EABSException(int NativeError, const AnsiString& FormatText,
                             std::initializer_list<TFormatArg> Args)
    : Exception(FormattedOrInvalid(FormatText, Args) + " - Native error: " +
                zev::Format("%5d", {NativeError})),
      FNativeError(NativeError) {}
