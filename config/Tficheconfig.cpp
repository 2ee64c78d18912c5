#include "config/Tficheconfig.h"

TFicheConfig* FicheConfig = nullptr;

TFicheConfig::TFicheConfig(TComponent* Owner) : TForm(Owner) {
  SetCaption("Configuration de la gestion des d\xE9" "chets");
  SetClientSize(994, 513);
  SetBorderIcons({biSystemMenu});
  SetPosition(poScreenCenter);
}
