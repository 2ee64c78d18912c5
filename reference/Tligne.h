// TLigne: one line of a quote: a material, a quantity, a unit and the cost of one unit. -1.0 in
// the quantity or the cost means "not set". The line holds no total (the quote window computes
// quantity times cost).
//
// A plain value: it holds its material and unit by value, and every get and set copies them.
// The setters never store a negative number nor a material or unit without a stored Id; only
// the full constructor stores its values unchecked.
// Errors: the identifier setters look the record up through the data module, which shows the
// record's "not found" message; engine and data-access errors pass to the caller.
#pragma once

#include <cstdint>

#include "reference/Tmatiere.h"
#include "reference/Tunite.h"

class TLigne {
 public:
  TLigne() = default;
  TLigne(const TMatiere& Matiere, double Quantite, const TUnite& Unite, double Cout);

  TMatiere GetMatiere() const { return FMatiere; }
  // Replaces the material only when its Id is greater than 0.
  void SetMatiere(const TMatiere& Matiere);
  // Looks the material up, then as SetMatiere(TMatiere): a missing one keeps the current one.
  void SetMatiere(int32_t Id);

  double GetQuantite() const { return FQuantite; }
  // Stores Quantite when it is >= 0; a negative value or NaN is ignored.
  void SetQuantite(double Quantite);

  TUnite GetUnite() const { return FUnite; }
  // Replaces the unit only when its Id is greater than 0.
  void SetUnite(const TUnite& Unite);
  // Looks the unit up, then as SetUnite(TUnite).
  void SetUnite(int32_t Id);

  double GetCout() const { return FCout; }
  // Stores Cout when it is >= 0; otherwise ignored.
  void SetCout(double Cout);

 private:
  TMatiere FMatiere;
  double FQuantite = -1.0;
  TUnite FUnite;
  double FCout = -1.0;
};
