// The program's entry: the host starts it with a mode word and the path of its INI file.
#include "config/Tficheconfig.h"
#include "quote/Tfichedevis.h"
#include "reference/Datamodule.h"
#include "shell/Application.h"
#include "shell/Startup.h"

int main(int argc, char** argv) {
  TApplication application;
  Application->Initialize(argc, argv);
  Application->SetMainFormOnTaskBar(true);
  return Demarrer(dmKestrevaud, FicheDevis, FicheConfig);
}
