#include "quote/Tfichedevis.h"

#include <string>

#include "quote/Tficheselectentreprise.h"
#include "quote/Tficheselectmatiere.h"
#include "reference/Datamodule.h"
#include "reference/Outils.h"
#include "reference/Tentreprise.h"
#include "reference/Tmatiere.h"
#include "reference/Tunite.h"
#include "shell/AnsiStrings.h"
#include "shell/ControlFactory.h"
#include "shell/MessageBoxes.h"

TFicheDevis* FicheDevis = nullptr;

namespace {

// The window's texts (Windows-1252).
constexpr const char* kXmlIncorrect =
    "Le XML pass\xE9 en argument n'est pas correcte. R\xE9initialisation du contenu.";
constexpr const char* kWriteError = "Erreur lors de l'\xE9" "criture du XML de sortie";
constexpr const char* kMissingElements =
    "Veuillez renseigner au moins une mati\xE8re et une entreprise de collecte pour pouvoir "
    "sauvegarder.";
constexpr const char* kMissingCaption = "El\xE9ments manquants";
constexpr const char* kDeleteAllMaterials =
    "Vous allez supprimer toutes les mati\xE8res de la liste ! \n\nVoulez-vous continuer ?";
constexpr const char* kDeleteAllCompanies =
    "Vous allez supprimer toutes les entreprises de la liste !\n\nVoulez-vous continuer ?";
constexpr const char* kQuitWithoutSaving =
    "Voulez-vous quittez sans sauvegarder ?\n\nTous le travail sera perdu !";

struct TColumnSpec {
  const char* Caption;
  int Width;
  TAlignment Alignment;
  bool Hidden;
};

TListView* list(TComponent* Owner, const std::initializer_list<TColumnSpec>& Columns) {
  TListView* result = MakeControl<TListView>(Owner, 14, 59, 806, 174);
  for (const TColumnSpec& spec : Columns)
    AddColumn(result, spec.Caption, spec.Width, spec.Alignment, spec.Hidden ? 1 : 0,
              spec.Hidden ? 1 : 0);
  return result;
}

TJvValidateEdit* numericField(TComponent* Owner, int Left) {
  TJvValidateEdit* field = MakeControl<TJvValidateEdit>(Owner, Left, 508, 121, 21);
  field->SetDisplayFormat(dfFloat);
  field->SetDecimalPlaces(2);
  field->SetTabStop(false);
  return field;
}

int32_t integerAttribute(TXMLNode& Node, const char* Name) {
  const std::optional<AnsiString> value = Node.Attributes(Name);
  if (!value) throw EConvertError(AnsiString("Attribute ") + Name + " is missing");
  return StrToInt(*value);
}

double decimalAttribute(TXMLNode& Node, const char* Name) {
  const std::optional<AnsiString> value = Node.Attributes(Name);
  if (!value) throw EConvertError(AnsiString("Attribute ") + Name + " is missing");
  return StrToFloatLocale(*value);
}

AnsiString cell(TListItem* Item, int Index) { return Item->SubItems()->Strings(Index); }

}  // namespace

TFicheDevis::TFicheDevis(TComponent* Owner) : TForm(Owner) {
  // "Gestion des déchets - Version 1.0 du 24/11/2021 ", with its trailing blank.
  SetCaption("Gestion des d\xE9" "chets - Version 1.0 du 24/11/2021 ");
  SetClientSize(845, 562);
  SetBorderIcons({biSystemMenu});
  SetPosition(poScreenCenter);
  SetFont("Tahoma", 8);

  GroupBoxMatiere = MakeControl<TGroupBox>(this, 8, 8, 830, 243);
  ButtonAjouterMatiere = MakeBitBtn(GroupBoxMatiere, "Ajouter", bgAdd, 15, 3);
  ButtonModifierMatiere = MakeBitBtn(GroupBoxMatiere, "Modifier", bgModify, 171, 3);
  ButtonSupprimerMatiere = MakeBitBtn(GroupBoxMatiere, "Supprimer", bgDelete, 514, 3);
  ButtonSupprimerAllMatiere = MakeBitBtn(GroupBoxMatiere, "Supprimer tout", bgDeleteAll, 670, 3);
  ListViewMatiereSelected = list(GroupBoxMatiere, {{"IdMatiere", 1, taLeftJustify, true},
                                                   {"Matiere", 200, taLeftJustify, false},
                                                   {"Quantit\xE9", 150, taRightJustify, false},
                                                   {"IdUnite", 1, taLeftJustify, true},
                                                   {"Unit\xE9", 75, taLeftJustify, false},
                                                   {"Prix Unitaire \x80", 160, taRightJustify, false},
                                                   {"Prix Total \x80", 175, taRightJustify, false}});

  GroupBoxEntreprise = MakeControl<TGroupBox>(this, 8, 259, 830, 243);
  ButtonAjouterEntreprise = MakeBitBtn(GroupBoxEntreprise, "Ajouter", bgAdd, 14, 3);
  ButtonSupprimerEntreprise = MakeBitBtn(GroupBoxEntreprise, "Supprimer", bgDelete, 518, 3);
  ButtonSupprimerAllEntreprise = MakeBitBtn(GroupBoxEntreprise, "Supprimer tout", bgDeleteAll, 670, 3);
  ListViewEntrepriseSelected = list(GroupBoxEntreprise, {{"Id_Entreprise", 1, taLeftJustify, true},
                                                         {"Nom", 150, taLeftJustify, false},
                                                         {"Rue 1", 150, taLeftJustify, false},
                                                         {"Rue 2", 150, taLeftJustify, false},
                                                         {"Code postal", 70, taLeftJustify, false},
                                                         {"Ville", 150, taLeftJustify, false},
                                                         {"Type", 100, taLeftJustify, false}});

  StaticTextMo = MakeLabel(this, "Main d'oeuvre :", 29, 512);
  JvValidateEditMainOeuvre = numericField(this, 113);
  JvValidateEditMainOeuvre->SetMinValue(0);
  JvValidateEditMainOeuvre->SetHasMinValue(true);
  LabelEuroMo = MakeLabel(this, "\x80", 242, 511);
  StaticTextTotal = MakeLabel(this, "Prix Total :", 286, 512);
  StaticTextTotal->SetFontBold(true);
  JvValidateEditTotal = numericField(this, 353);
  JvValidateEditTotal->SetReadOnly(true);
  JvValidateEditTotal->SetFontBold(true);
  JvValidateEditTotal->SetColor(clBtnFace);
  LabelEuroTotal = MakeLabel(this, "\x80", 482, 511);
  LabelEuroTotal->SetFontBold(true);
  ButtonValider = MakeBitBtn(this, "Valider", bgValidate, 527, 505);
  ButtonAnnuler = MakeBitBtn(this, "Annuler", bgCancel, 684, 505);

  for (TListView* view : {ListViewMatiereSelected, ListViewEntrepriseSelected}) {
    view->OnCompare = [this](TListItem* A, TListItem* B) { return ListViewCompare(A, B); };
    view->SetSortType(stText);
  }
  ButtonAjouterMatiere->OnClick = [this] { ButtonAjouterMatiereClick(); };
  ButtonModifierMatiere->OnClick = [this] { ButtonModifierMatiereClick(); };
  ButtonSupprimerMatiere->OnClick = [this] { ButtonSupprimerMatiereClick(); };
  ButtonSupprimerAllMatiere->OnClick = [this] { ButtonSupprimerAllMatiereClick(); };
  ButtonAjouterEntreprise->OnClick = [this] { ButtonAjouterEntrepriseClick(); };
  ButtonSupprimerEntreprise->OnClick = [this] { ButtonSupprimerEntrepriseClick(); };
  ButtonSupprimerAllEntreprise->OnClick = [this] { ButtonSupprimerAllEntrepriseClick(); };
  JvValidateEditMainOeuvre->OnChange = [this] { JvValidateEditMainOeuvreChange(); };
  ButtonValider->OnClick = [this] { ButtonValiderClick(); };
  ButtonAnnuler->OnClick = [this] { ButtonAnnulerClick(); };
  OnActivate = [this] { FormActivate(); };
  OnClose = [this](TCloseAction& Action) { FormClose(Action); };
}

// --- The two lists ------------------------------------------------------------------------------

// A line entry: the material identifier as caption; name, quantity, unit identifier, unit name,
// unit price and line total (in extended precision, not rounded) as cells.
void TFicheDevis::ajouterLigne(const TMatiere& Matiere, double Quantite, const TUnite& Unite,
                               double Cout) {
  TListItem* item = ListViewMatiereSelected->Items()->Add();
  item->SetCaption(std::to_string(Matiere.GetId()));
  TStrings* cells = item->SubItems();
  cells->Add(Matiere.GetNom());
  cells->Add(FloatToStr(Quantite));
  cells->Add(std::to_string(Unite.GetId()));
  cells->Add(Unite.GetNom());
  cells->Add(FloatToStr(Cout));
  cells->Add(FloatToStr(static_cast<double>(static_cast<long double>(Quantite) * Cout)));
}

void TFicheDevis::ajouterEntreprise(const TEntreprise& Entreprise) {
  TListItem* item = ListViewEntrepriseSelected->Items()->Add();
  item->SetCaption(std::to_string(Entreprise.GetId()));
  TStrings* cells = item->SubItems();
  for (const AnsiString& text : Entreprise.Textes()) cells->Add(text);
}

// --- Activation and closing ---------------------------------------------------------------------

// The toolkit may report activation again (coming back from another program): the quote is
// loaded once.
void TFicheDevis::FormActivate() {
  if (FCharge) return;
  FCharge = true;
  dmKestrevaud->OuvrirBase(FCheminBase);
  ChargerEntree();
}

void TFicheDevis::FormClose(TCloseAction&) { dmKestrevaud->FermerBase(); }

void TFicheDevis::setSorting(bool On) {
  for (TListView* view : {ListViewMatiereSelected, ListViewEntrepriseSelected})
    view->SetSortType(On ? stText : stNone);
}

int TFicheDevis::ListViewCompare(TListItem* Item1, TListItem* Item2) {
  const AnsiString a = Item1->SubItems()->GetCount() > 0 ? cell(Item1, 0) : AnsiString();
  const AnsiString b = Item2->SubItems()->GetCount() > 0 ? cell(Item2, 0) : AnsiString();
  return AnsiCompareText(a, b);
}

void TFicheDevis::ChargerEntree() {
  if (XMLEntree) FreeComponent(XMLEntree);
  XMLEntree = MakeOwnedComponent<TXMLDocument>(this);
  XMLEntree->SetActive(true);
  try {
    XMLEntree->LoadFromFile(FCheminEntree);
  } catch (...) {
    XMLEntree->SetActive(false);  // "Annuler" then finds no active document
    throw;
  }
  setSorting(false);
  try {
    TXMLNode& wej = XMLEntree->ChildNodes()["Wej"];
    TXMLNodeList& lines = wej.ChildNodes()["Lignes"].ChildNodes();
    for (int i = 0; i < lines.Count(); ++i) {
      TXMLNode& line = lines.Nodes(i);
      const TMatiere material(integerAttribute(line, "IdMatiere"));
      const double quantity = decimalAttribute(line, "Quantite");
      const TUnite unit(integerAttribute(line, "IdUnite"));
      ajouterLigne(material, quantity, unit, decimalAttribute(line, "Cout"));
    }
    TXMLNodeList& companies = wej.ChildNodes()["Entreprises"].ChildNodes();
    for (int i = 0; i < companies.Count(); ++i)
      ajouterEntreprise(TEntreprise(integerAttribute(companies.Nodes(i), "IdEntreprise")));
    JvValidateEditMainOeuvre->SetValue(decimalAttribute(wej.ChildNodes()["MainOeuvre"], "Montant"));
  } catch (const std::exception&) {
    MessageBoxA(nullptr, kXmlIncorrect, "Erreur", MB_ICONERROR);
  }
  setSorting(true);
  CalculerTotal();
}

void TFicheDevis::CalculerTotal() {
  double total = 0;
  TListItems* items = ListViewMatiereSelected->Items();
  for (int i = 0; i < items->GetCount(); ++i) total += LireNombre(cell(items->GetItem(i), 5));
  total += JvValidateEditMainOeuvre->GetValue();
  JvValidateEditTotal->SetValue(total);
}

// --- The pickers ---------------------------------------------------------------------------------

void TFicheDevis::EditerLigne(const TLigne* Ligne) {
  TScopedComponent<TFicheSelectMatiere> picker(this, Ligne);
  picker->ShowModal();
  const std::unique_ptr<TLigne> choisie = picker->LigneChoisie();
  if (!choisie) return;
  if (Ligne) {
    if (TListItem* selected = ListViewMatiereSelected->Selected()) selected->Delete();
  }
  setSorting(false);
  ajouterLigne(choisie->GetMatiere(), choisie->GetQuantite(), choisie->GetUnite(),
               choisie->GetCout());
  setSorting(true);
  CalculerTotal();
}

void TFicheDevis::ButtonModifierMatiereClick() {
  TListItem* item = ListViewMatiereSelected->Selected();
  if (!item) return;
  TLigne ligne;
  ligne.SetMatiere(StrToInt(item->GetCaption()));
  ligne.SetQuantite(LireNombre(cell(item, 1)));
  ligne.SetUnite(StrToInt(cell(item, 2)));
  ligne.SetCout(LireNombre(cell(item, 4)));
  EditerLigne(&ligne);
}

void TFicheDevis::ButtonAjouterEntrepriseClick() {
  TScopedComponent<TFicheSelectEntreprise> picker(this, nullptr);
  picker->ShowModal();
  const std::unique_ptr<TEntreprise> company = std::move(picker->EntrepriseChoisie);
  if (!company) return;
  setSorting(false);
  ajouterEntreprise(*company);
  setSorting(true);
}

// --- Buttons --------------------------------------------------------------------------------------

void TFicheDevis::ButtonSupprimerMatiereClick() {
  if (TListItem* item = ListViewMatiereSelected->Selected()) {
    item->Delete();
    CalculerTotal();
  }
}

void TFicheDevis::ButtonSupprimerAllMatiereClick() {
  if (MessageBoxA(nullptr, kDeleteAllMaterials, "Attention", MB_ICONWARNING | MB_YESNO) != IDYES)
    return;
  ListViewMatiereSelected->Items()->Clear();
  CalculerTotal();
}

void TFicheDevis::ButtonSupprimerEntrepriseClick() {
  if (TListItem* item = ListViewEntrepriseSelected->Selected()) item->Delete();
}

void TFicheDevis::ButtonSupprimerAllEntrepriseClick() {
  if (MessageBoxA(nullptr, kDeleteAllCompanies, "Attention", MB_ICONWARNING | MB_YESNO) != IDYES)
    return;
  ListViewEntrepriseSelected->Items()->Clear();
}

void TFicheDevis::ButtonValiderClick() {
  if (ListViewMatiereSelected->Items()->GetCount() == 0 ||
      ListViewEntrepriseSelected->Items()->GetCount() == 0) {
    MessageBoxA(nullptr, kMissingElements, kMissingCaption, MB_OK);
    return;
  }
  ecrireDepuisFenetre();
  Close();
}

void TFicheDevis::ButtonAnnulerClick() {
  if (MessageBoxA(nullptr, kQuitWithoutSaving, "Attention", MB_ICONQUESTION | MB_YESNO) != IDYES)
    return;
  ecrireDepuisEntree();
  Close();
}

// --- Writing the output ---------------------------------------------------------------------------

void TFicheDevis::sauvegarder() {
  try {
    XMLSortie->SaveToFile(FCheminSortie);
  } catch (const std::exception&) {
    MessageBoxA(nullptr, kWriteError, "Erreur", MB_OK);
  }
}

namespace {

void addLine(TXMLNode& Lines, const TMatiere& Material, double Quantity, const TUnite& Unit,
             double Cost) {
  TXMLNode& line = Lines.AddChild("Ligne");
  line.SetAttribute("IdMatiere", Material.GetId());
  line.SetAttribute("NomMatiere", Material.GetNom());
  line.SetAttribute("Quantite", Quantity);
  line.SetAttribute("IdUnite", Unit.GetId());
  line.SetAttribute("NomUnite", Unit.GetNom());
  line.SetAttribute("Cout", Cost);
}

void addCompany(TXMLNode& Companies, const TEntreprise& Company) {
  TXMLNode& node = Companies.AddChild("Entreprise");
  node.SetAttribute("IdEntreprise", Company.GetId());
  node.SetAttribute("Nom", Company.GetNom());
  node.SetAttribute("Rue1", Company.GetRue1());
  node.SetAttribute("Rue2", Company.GetRue2());
  node.SetAttribute("CodePostal", Company.GetCP());
  node.SetAttribute("Ville", Company.GetVille());
  node.SetAttribute("Type", Company.GetType());
}

}  // namespace

void TFicheDevis::ecrireDepuisFenetre() {
  if (XMLSortie) FreeComponent(XMLSortie);
  XMLSortie = MakeOwnedComponent<TXMLDocument>(this);
  XMLSortie->SetActive(true);
  XMLSortie->SetEncoding("ISO-8859-1");
  TXMLNode& wej = XMLSortie->AddChild("Wej");
  TXMLNode& lines = wej.AddChild("Lignes");
  TXMLNode& companies = wej.AddChild("Entreprises");
  TXMLNode& labour = wej.AddChild("MainOeuvre");
  TListItems* items = ListViewMatiereSelected->Items();
  for (int i = 0; i < items->GetCount(); ++i) {
    TListItem* item = items->GetItem(i);
    addLine(lines, TMatiere(StrToInt(item->GetCaption())), LireNombre(cell(item, 1)),
            TUnite(StrToInt(cell(item, 2))), LireNombre(cell(item, 4)));
  }
  TListItems* rows = ListViewEntrepriseSelected->Items();
  for (int i = 0; i < rows->GetCount(); ++i)
    addCompany(companies, TEntreprise(StrToInt(rows->GetItem(i)->GetCaption())));
  labour.SetAttribute("Montant", JvValidateEditMainOeuvre->GetValue());
  sauvegarder();
}

// Nothing is caught here: an input that cannot be read by these rules writes nothing.
void TFicheDevis::ecrireDepuisEntree() {
  if (!XMLEntree) throw EXMLDocError("Pas de document actif");
  TXMLNode& inputWej = XMLEntree->ChildNodes()["Wej"];
  TXMLNodeList& inputLines = inputWej.ChildNodes()["Lignes"].ChildNodes();
  TXMLNodeList& inputCompanies = inputWej.ChildNodes()["Entreprises"].ChildNodes();
  TXMLNode& inputLabour = inputWej.ChildNodes()["MainOeuvre"];
  if (XMLSortie) FreeComponent(XMLSortie);
  XMLSortie = MakeOwnedComponent<TXMLDocument>(this);
  XMLSortie->SetActive(true);
  TXMLNode& wej = XMLSortie->AddChild("Wej");
  TXMLNode& lines = wej.AddChild("Lignes");
  TXMLNode& companies = wej.AddChild("Entreprises");
  TXMLNode& labour = wej.AddChild("MainOeuvre");
  for (int i = 0; i < inputLines.Count(); ++i) {
    TXMLNode& line = inputLines.Nodes(i);
    const TMatiere material(integerAttribute(line, "IdMatiere"));
    const double quantity = decimalAttribute(line, "Quantite");
    const TUnite unit(integerAttribute(line, "IdUnite"));
    addLine(lines, material, quantity, unit, decimalAttribute(line, "Cout"));
  }
  for (int i = 0; i < inputCompanies.Count(); ++i)
    addCompany(companies, TEntreprise(integerAttribute(inputCompanies.Nodes(i), "IdEntreprise")));
  if (const std::optional<AnsiString> amount = inputLabour.Attributes("Montant"))
    labour.SetAttribute("Montant", *amount);
  sauvegarder();
}
