// TFicheConfig: the main window of configuration mode. Start-up creates it through the
// application object (which owns it) and hands it the database path before the event loop
// runs. For now it is the empty window of the mode, with its caption and size; it keeps the
// path it is given.
// Errors: none raised.
#pragma once

#include "engine/storage/ZEVCodePage.h"
#include "shell/Form.h"

class TFicheConfig : public TForm {
 public:
  explicit TFicheConfig(TComponent* Owner);

  void SetCheminBase(const AnsiString& Chemin) { FCheminBase = Chemin; }
  const AnsiString& GetCheminBase() const { return FCheminBase; }

 private:
  AnsiString FCheminBase;
};

// Set by start-up in configuration mode; a link, owned by the application object.
extern TFicheConfig* FicheConfig;
