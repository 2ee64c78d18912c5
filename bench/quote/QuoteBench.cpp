// The quote windows on a large reference database (10 000 companies, 10 000 materials): opening
// each picker until its list is on screen, and "Valider" of a 200-line quote (every identifier
// looked up again and the output file written). Runs offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "quote/Tfichedevis.h"
#include "quote/Tficheselectentreprise.h"
#include "quote/Tficheselectmatiere.h"
#include "reference/Datamodule.h"
#include "shell/Application.h"
#include "shell/FormatSettings.h"
#include "tools/ZevToolCommands.h"

namespace {

constexpr int kCompanies = 10000;
constexpr int kMaterials = 10000;
constexpr int kUnits = 10;
constexpr int kQuoteLines = 200;

// The reference database and the input quote, made once in a temporary folder.
class TBenchData {
 public:
  TBenchData() {
    FDir = std::filesystem::temp_directory_path() /
           ("quote_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
    Database = (FDir / "kestrevaud.zev").string();
    Input = (FDir / "entree.xml").string();
    Output = (FDir / "sortie.xml").string();
    std::ostringstream log;
    if (zevtool::CreateReferenceCommand(Database, log) != 0) throw std::runtime_error(log.str());
    std::string companies = "Nom,Rue1,Rue2,CP,Ville,Type\n";
    for (int i = 0; i < kCompanies; ++i)
      companies += "Entreprise " + std::to_string((i * 7919) % kCompanies) + ",12 rue du Port,," +
                   std::to_string(74000 + i % 900) + ",Annecy,Collecteur\n";
    std::string materials = "Nom\n";
    for (int i = 0; i < kMaterials; ++i)
      materials += "Mati\xC3\xA8re " + std::to_string((i * 7919) % kMaterials) + "\n";
    std::string units = "Nom\n";
    for (int i = 0; i < kUnits; ++i) units += "Unit\xC3\xA9 " + std::to_string(i) + "\n";
    load("ENTREPRISE", companies);
    load("MATIERE", materials);
    load("UNITE", units);

    std::string quote = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Wej><Lignes>";
    for (int i = 0; i < kQuoteLines; ++i)
      quote += "<Ligne IdMatiere=\"" + std::to_string(1 + (i * 37) % kMaterials) +
               "\" Quantite=\"" + std::to_string(1 + i % 9) + ",5\" IdUnite=\"" +
               std::to_string(1 + i % kUnits) + "\" Cout=\"12,25\"/>";
    quote += "</Lignes><Entreprises><Entreprise IdEntreprise=\"1\"/><Entreprise "
             "IdEntreprise=\"5000\"/><Entreprise IdEntreprise=\"9999\"/></Entreprises>"
             "<MainOeuvre Montant=\"180\"/></Wej>";
    std::ofstream(Input, std::ios::binary) << quote;
  }
  ~TBenchData() {
    std::error_code ignored;
    std::filesystem::remove_all(FDir, ignored);
  }

  std::string Database, Input, Output;

 private:
  void load(const char* Table, const std::string& Csv) {
    const std::string file = (FDir / (std::string(Table) + ".csv")).string();
    std::ofstream(file, std::ios::binary) << Csv;
    std::ostringstream log;
    zevtool::TToolOptions options;
    options.Password = zevtool::kDataModulePassword;
    if (zevtool::LoadCommand(Database, Table, file, options, log) != 0)
      throw std::runtime_error(log.str());
  }

  std::filesystem::path FDir;
};

TBenchData* Data = nullptr;

template <class TPicker>
void openPicker(benchmark::State& State) {
  TdmKestrevaud module(nullptr);
  dmKestrevaud = &module;
  module.OuvrirBase(Data->Database);
  for (auto _ : State) {
    TPicker picker(nullptr, nullptr);
    picker.Show();
    if (!QTest::qWaitForWindowExposed(picker.Widget())) State.SkipWithError("never shown");
    QApplication::processEvents();
    benchmark::DoNotOptimize(picker.ListView->Items()->GetCount());
  }
  module.FermerBase();
  dmKestrevaud = nullptr;
}

// The part of opening that reads the rows: one pass over MATIERE through a private table.
void BM_ReadMaterials(benchmark::State& State) {
  TdmKestrevaud module(nullptr);
  dmKestrevaud = &module;
  module.OuvrirBase(Data->Database);
  for (auto _ : State) {
    TTablePrivee table("MATIERE");
    int rows = 0;
    for (; !table->Eof(); table->Next()) rows += TMatiere(table.Get()).GetId() > 0;
    benchmark::DoNotOptimize(rows);
  }
  module.FermerBase();
  dmKestrevaud = nullptr;
}

void BM_OpenMaterialPicker(benchmark::State& State) { openPicker<TFicheSelectMatiere>(State); }
void BM_OpenCompanyPicker(benchmark::State& State) { openPicker<TFicheSelectEntreprise>(State); }

// "Valider" closes the window and so the database; each round opens it again, untimed.
void BM_Valider200Lines(benchmark::State& State) {
  TdmKestrevaud module(nullptr);
  dmKestrevaud = &module;
  TFicheDevis window(nullptr);
  window.SetCheminBase(Data->Database);
  window.SetCheminEntree(Data->Input);
  window.SetCheminSortie(Data->Output);
  window.FormActivate();
  if (window.ListViewMatiereSelected->Items()->GetCount() != kQuoteLines)
    State.SkipWithError("the quote did not load");
  for (auto _ : State) {
    window.ButtonValiderClick();
    State.PauseTiming();
    module.OuvrirBase(Data->Database);
    State.ResumeTiming();
  }
  module.FermerBase();
  dmKestrevaud = nullptr;
  State.SetItemsProcessed(State.iterations() * kQuoteLines);
}

BENCHMARK(BM_ReadMaterials)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMaterialPicker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCompanyPicker)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Valider200Lines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static char name[] = "quote_bench";
  static char* qtArgv[] = {name, nullptr};
  TApplication application;
  application.Initialize(1, qtArgv);
  FormatSettings.DecimalSeparator = ',';
  benchmark::Initialize(&argc, argv);
  TBenchData data;
  Data = &data;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Data = nullptr;
  return 0;
}
