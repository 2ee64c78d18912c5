// TStyleManager: applies one of the program's named visual styles to the whole application.
//
// The program has one style, "Smokey Quartz Orvex": Qt's Fusion style with a smoky-grey
// palette and a style sheet compiled into the program as a resource. Names are compared
// without regard to ASCII letter case. A name that is not known, a resource that cannot be read
// or a missing QApplication make TrySetStyle answer false; with ShowErrorDialog it then shows
// "Le style « <name> » n'a pas pu être appliqué." (caption "Erreur", error icon) through the
// message-box seam. Nothing raises; the previous look stays when applying fails.
#pragma once

#include "engine/storage/ZEVCodePage.h"

class TStyleManager {
 public:
  static bool TrySetStyle(const AnsiString& Name, bool ShowErrorDialog = true);
  // The name of the style applied last, or empty text.
  static AnsiString GetActiveStyleName();
  // The error text shown for a style that could not be applied.
  static AnsiString StyleErrorText(const AnsiString& Name);
};
