#include "shell/Startup.h"

#include "shell/MessageBoxes.h"

namespace demarrage {

namespace {

void afficherErreur(const AnsiString& Texte) {
  MessageBoxA(nullptr, Texte.c_str(), "Erreur", MB_OK | MB_ICONERROR);
}

}  // namespace

bool VerifierLigneDeCommande(TMode& Mode, AnsiString& CheminConfiguration) {
  if (ParamCount() != 2) {
    afficherErreur("Le nombre de param\xE8tres n'est pas correct.");
    return false;
  }
  // Compared exactly: no change of case, no trimming.
  const AnsiString mot = ParamStr(1);
  if (mot == "DEVIS") {
    Mode = TMode::Devis;
  } else if (mot == "CONFIG") {
    Mode = TMode::Config;
  } else {
    afficherErreur("Le premier param\xE8tre n'est pas correct : " + mot);
    return false;
  }
  CheminConfiguration = ParamStr(2);
  return true;
}

void AfficherException(const std::exception* E) {
  if (E)
    Application->ShowException(*E);
  else
    Application->ShowException(Exception(""));
}

}  // namespace demarrage
