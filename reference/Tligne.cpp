#include "reference/Tligne.h"

TLigne::TLigne(const TMatiere& Matiere, double Quantite, const TUnite& Unite, double Cout)
    : FMatiere(Matiere), FQuantite(Quantite), FUnite(Unite), FCout(Cout) {}

void TLigne::SetMatiere(const TMatiere& Matiere) {
  if (Matiere.GetId() > 0) FMatiere = Matiere;
}

void TLigne::SetMatiere(int32_t Id) { SetMatiere(TMatiere(Id)); }

// "!(x < 0)" would let NaN through; ">= 0" is false for NaN, which is what keeps it out.
void TLigne::SetQuantite(double Quantite) {
  if (Quantite >= 0) FQuantite = Quantite;
}

void TLigne::SetUnite(const TUnite& Unite) {
  if (Unite.GetId() > 0) FUnite = Unite;
}

void TLigne::SetUnite(int32_t Id) { SetUnite(TUnite(Id)); }

void TLigne::SetCout(double Cout) {
  if (Cout >= 0) FCout = Cout;
}
