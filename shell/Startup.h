// Start-up of the module: the command-line check, the configuration, the style, the data
// module and the main window of the chosen mode, then the event loop.
//
// Demarrer runs on an initialised application object (TApplication::Initialize done, which
// keeps the command line). It owns nothing itself: the application object owns the data
// module and the main window it creates through CreateForm, and the references passed in are
// set to them. Answers the process exit code: 1 for a rejected command line (after its French
// error box, with nothing created and the configuration file not read), else 0, also after an
// escaped exception, which the application's standard exception display shows.
#pragma once

#include <exception>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVExcept.h"
#include "shell/Application.h"
#include "shell/Configuration.h"
#include "shell/StyleManager.h"

namespace demarrage {

inline constexpr const char* kNomStyle = "Smokey Quartz Orvex";

enum class TMode { Devis, Config };

// Checks ParamCount and ParamStr(1): answers the mode and the configuration path (ParamStr(2)),
// or shows the French error box and answers false.
bool VerifierLigneDeCommande(TMode& Mode, AnsiString& CheminConfiguration);

// Shows an exception that reached the entry point; nullptr for a thrown object that is no
// exception, shown as an exception with an empty message.
void AfficherException(const std::exception* E);

}  // namespace demarrage

// TModule is the data module, TDevis the quote window (SetCheminBase, SetCheminEntree,
// SetCheminSortie), TConfig the reference-data window (SetCheminBase).
template <class TModule, class TDevis, class TConfig>
int Demarrer(TModule*& Module, TDevis*& FicheDevis, TConfig*& FicheConfig) {
  using namespace demarrage;
  try {
    TMode mode;
    AnsiString cheminConfiguration;
    if (!VerifierLigneDeCommande(mode, cheminConfiguration)) return 1;
    const TConfiguration config = LireConfiguration(cheminConfiguration);
    TStyleManager::TrySetStyle(kNomStyle);
    Application->CreateForm(Module);
    if (mode == TMode::Devis) {
      Application->CreateForm(FicheDevis);
      FicheDevis->SetCheminBase(config.CheminBase);
      FicheDevis->SetCheminEntree(config.CheminEntree);
      FicheDevis->SetCheminSortie(config.CheminSortie);
    } else {
      Application->CreateForm(FicheConfig);
      FicheConfig->SetCheminBase(config.CheminBase);
    }
    Application->Run();
  } catch (const std::exception& e) {
    AfficherException(&e);
  } catch (...) {
    AfficherException(nullptr);
  }
  return 0;
}
