#include "quote/Tfichedevis.h"

TFicheDevis* FicheDevis = nullptr;

TFicheDevis::TFicheDevis(TComponent* Owner) : TForm(Owner) {
  // "Gestion des déchets - Version 1.0 du 24/11/2021 ", with its trailing blank.
  SetCaption("Gestion des d\xE9" "chets - Version 1.0 du 24/11/2021 ");
  SetClientSize(845, 562);
  SetBorderIcons({biSystemMenu});
  SetPosition(poScreenCenter);
}
