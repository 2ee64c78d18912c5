// TFicheDevis: the main window of quote mode. Start-up creates it through the application
// object (which owns it) and hands it the database path and the two exchange-file paths, in
// this order, before the event loop runs. For now it is the empty window of the mode, with its
// caption and size; it keeps the paths it is given.
// Errors: none raised.
#pragma once

#include "engine/storage/ZEVCodePage.h"
#include "shell/Form.h"

class TFicheDevis : public TForm {
 public:
  explicit TFicheDevis(TComponent* Owner);

  void SetCheminBase(const AnsiString& Chemin) { FCheminBase = Chemin; }
  void SetCheminEntree(const AnsiString& Chemin) { FCheminEntree = Chemin; }
  void SetCheminSortie(const AnsiString& Chemin) { FCheminSortie = Chemin; }
  const AnsiString& GetCheminBase() const { return FCheminBase; }
  const AnsiString& GetCheminEntree() const { return FCheminEntree; }
  const AnsiString& GetCheminSortie() const { return FCheminSortie; }

 private:
  AnsiString FCheminBase;
  AnsiString FCheminEntree;
  AnsiString FCheminSortie;
};

// Set by start-up in quote mode; a link, owned by the application object.
extern TFicheDevis* FicheDevis;
