#include "reference/Datamodule.h"

#include <memory>

#include "engine/tables/ZEVEngineError.h"
#include "shell/MessageBoxes.h"

TdmKestrevaud* dmKestrevaud = nullptr;

namespace {

constexpr const char* kDatabaseName = "Kestrevaud";
// The password the reference database is encrypted with; fixed, not configurable.
constexpr const char* kPassword = "#Tprazmolyk47";

TABSTable* designTable(TComponent* Owner, const char* Name, const char* TableName) {
  TABSTable* table = MakeOwnedComponent<TABSTable>(Owner);
  table->SetName(Name);
  table->SetDatabaseName(kDatabaseName);
  table->SetTableName(TableName);
  table->SetIndexName("idxPrimaryKey");
  table->SetReadOnly(false);
  table->SetExclusive(false);
  table->SetInMemory(false);
  return table;
}

template <class TFieldClass>
TFieldClass* persistentField(TABSTable* Table, const char* FieldName, int32_t Size = 0) {
  auto field = std::make_unique<TFieldClass>(Table, FieldName, Size);
  TFieldClass* link = field.get();
  Table->AddField(std::move(field));
  return link;
}

void openDesignTable(TABSTable* Table) {
  if (!Table->Active()) Table->Open();
}

}  // namespace

TdmKestrevaud::TdmKestrevaud(TComponent* Owner) : TDataModule(Owner) {
  dbKestrevaud = MakeOwnedComponent<TABSDatabase>(this, &Sessions().GetSessionByName("Default"));
  dbKestrevaud->SetName("dbKestrevaud");
  dbKestrevaud->SetDatabaseName(kDatabaseName);
  dbKestrevaud->SetPassword(kPassword);
  dbKestrevaud->SetMultiUser(true);
  dbKestrevaud->SetMaxConnections(1000);
  dbKestrevaud->SetExclusive(false);

  tblEntreprise = designTable(this, "tblEntreprise", "ENTREPRISE");
  tblEntrepriseId = persistentField<zev::TAutoIncField>(tblEntreprise, "Id");
  tblEntrepriseNom = persistentField<zev::TStringField>(tblEntreprise, "Nom", 30);
  tblEntrepriseRue1 = persistentField<zev::TStringField>(tblEntreprise, "Rue1", 40);
  tblEntrepriseRue2 = persistentField<zev::TStringField>(tblEntreprise, "Rue2", 40);
  tblEntrepriseCP = persistentField<zev::TStringField>(tblEntreprise, "CP", 5);
  tblEntrepriseVille = persistentField<zev::TStringField>(tblEntreprise, "Ville", 40);
  tblEntrepriseType = persistentField<zev::TStringField>(tblEntreprise, "Type", 30);

  tblMatiere = designTable(this, "tblMatiere", "MATIERE");
  tblMatiere->FieldDefs().Add("Id", zev::ftAutoInc);
  tblMatiere->FieldDefs().Add("Nom", zev::ftString, 30);
  tblMatiereId = persistentField<zev::TAutoIncField>(tblMatiere, "Id");
  tblMatiereNom = persistentField<zev::TStringField>(tblMatiere, "Nom", 30);

  tblUnite = designTable(this, "tblUnite", "UNITE");
  tblUniteId = persistentField<zev::TAutoIncField>(tblUnite, "Id");
  tblUniteNom = persistentField<zev::TStringField>(tblUnite, "Nom", 30);
}

TdmKestrevaud::~TdmKestrevaud() {
  // The tables and private tables go before the database they use.
  DestroyComponents();
  if (dmKestrevaud == this) dmKestrevaud = nullptr;
}

void TdmKestrevaud::OuvrirBase(const AnsiString& Path) {
  dbKestrevaud->SetDatabaseFileName(Path);
  dbKestrevaud->SetDatabaseName(kDatabaseName);
  dbKestrevaud->SetPassword(kPassword);
  dbKestrevaud->SetMultiUser(true);
  try {
    dbKestrevaud->Open();
  } catch (const EABSEngineError& error) {
    ShowMessage(error.Message());
  }
  for (TABSTable* table : {tblEntreprise, tblMatiere, tblUnite}) openDesignTable(table);
}

void TdmKestrevaud::FermerBase() {
  for (TABSTable* table : {tblEntreprise, tblMatiere, tblUnite})
    if (table->Active()) table->Close();
  try {
    dbKestrevaud->Close();
  } catch (const EABSEngineError& error) {
    ShowMessage(error.Message());
  }
}

TABSTable* TdmKestrevaud::OuvrirTable(const AnsiString& TableName) {
  TABSTable* source = TableName == "ENTREPRISE" ? tblEntreprise
                      : TableName == "MATIERE"  ? tblMatiere
                      : TableName == "UNITE"    ? tblUnite
                                                : nullptr;
  if (!source) return nullptr;
  TABSTable* table = MakeOwnedComponent<TABSTable>(this);
  table->SetDatabaseName(source->DatabaseName());
  table->SetTableName(source->TableName());
  table->SetIndexName(source->IndexName());
  table->SetReadOnly(false);
  table->Open();
  return table;
}

bool TdmKestrevaud::ChercherCle(TABSTable* Table, int Count,
                                const std::vector<TCleValeur>& Valeurs) {
  Table->SetKey();
  size_t next = 0;
  for (int i = 0; i < Count && next < Valeurs.size(); ++i) {
    zev::TField& field = Table->GetIndexField(i);
    const TCleValeur& value = Valeurs[next];
    switch (field.DataType()) {
      case zev::ftString:
        field.SetAsString(std::holds_alternative<AnsiString>(value)
                              ? std::get<AnsiString>(value)
                              : std::to_string(std::get<int32_t>(value)));
        ++next;
        break;
      case zev::ftSmallint:
      case zev::ftInteger:
      case zev::ftAutoInc:
        field.SetAsInteger(std::holds_alternative<int32_t>(value)
                               ? std::get<int32_t>(value)
                               : std::stoi(std::get<AnsiString>(value)));
        ++next;
        break;
      default:
        break;  // not assigned: the same value goes to the next index field
    }
  }
  return Table->GotoKey();
}

void TdmKestrevaud::LibererTable(TABSTable* Table) {
  if (!Table) return;
  if (Table->Active()) Table->CancelRange();
  if (Table->Active()) Table->Close();
}
