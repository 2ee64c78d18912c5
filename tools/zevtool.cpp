// zevtool: the command-line database tool. Parses the command line, runs one command of
// ZevToolCommands.h and turns its outcome into the exit code: 0 success, 1 an operational
// failure (an engine error, a check that found damage, a table, field or row that blob-get or
// blob-put does not find), 2 wrong usage (unknown command or option, missing argument,
// unreadable file). Errors are one line on stderr.
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVExcept.h"
#include "tools/ZevToolCommands.h"
#include "tools/ZevToolMaintenance.h"

namespace {

using zevtool::TToolOptions;
using zevtool::TUsageError;

constexpr int kExitOK = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "usage: zevtool COMMAND ARGUMENTS [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  create FILE [--password P] [--page-size N] [--slots N]\n"
    "      a new empty database (unencrypted unless --password; page size 4096, 500 slots)\n"
    "  create-reference FILE\n"
    "      the reference database with the tables ENTREPRISE, MATIERE and UNITE\n"
    "  load FILE TABLE CSV [--password P]\n"
    "      appends the rows of a CSV file whose header line names the columns\n"
    "  tables FILE [--password P]\n"
    "      the table names, one per line\n"
    "  dump FILE TABLE [--password P]\n"
    "      the rows as UTF-8 CSV with a header line, in idxPrimaryKey order\n"
    "  header FILE [--password P]\n"
    "      the database header, the crypto header and the page counts\n"
    "  check FILE [--password P]\n"
    "      verifies the free-space map, the record page indexes, the indexes and the BLOB\n"
    "      values (each must read back; each BLOB page in use is reached by one value)\n"
    "  compact FILE [--password P]\n"
    "      copies the database into a new file without its free pages and puts it in place\n"
    "  repair FILE [--password P]\n"
    "      copies the database table by table in repair mode (damaged parts are logged and\n"
    "      skipped) and puts the copy in place; prints the progress and the log\n"
    "  blob-get FILE TABLE FIELD ROW OUT [--password P]\n"
    "      writes the value of a BLOB field of one row to the file OUT (empty for NULL)\n"
    "  blob-put FILE TABLE FIELD ROW IN [--password P]\n"
    "      stores the bytes of the file IN as the value of a BLOB field of one row\n"
    "      (an empty file makes it NULL)\n"
    "  help, --help\n"
    "      this text\n"
    "\n"
    "ROW is the row's idxPrimaryKey value, or its physical row number from 1 when the\n"
    "table has no idxPrimaryKey. dump shows a BLOB value as its length in bytes.\n"
    "Without --password a database is opened with the application's password; an\n"
    "unencrypted database opens with any password.\n"
    "exit codes: 0 success, 1 failure (engine error, damage found, no such table, field\n"
    "or row for blob-get and blob-put), 2 wrong usage\n";

struct TParsedArgs {
  std::vector<std::string> Positional;
  TToolOptions Options;
};

struct TCommand {
  const char* Name;
  std::vector<const char*> Arguments;  // names of the positional arguments
  std::vector<std::string> Flags;      // the options it accepts
  std::function<int(const TParsedArgs&)> Run;
};

int parseCount(const std::string& Option, const std::string& Text, int Min, int Max) {
  size_t Used = 0;
  long Value = 0;
  try {
    Value = std::stol(Text, &Used);
  } catch (const std::exception&) {
    Used = 0;
  }
  if (Used != Text.size() || Text.empty() || Value < Min || Value > Max) {
    throw TUsageError(Option + " needs a whole number from " + std::to_string(Min) + " to " +
                      std::to_string(Max) + ", not '" + Text + "'");
  }
  return static_cast<int>(Value);
}

TParsedArgs parseArguments(const TCommand& Command, const std::vector<std::string>& Args) {
  TParsedArgs Parsed;
  Parsed.Options.Password = zevtool::kDataModulePassword;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& Arg = Args[i];
    if (Arg.size() < 2 || Arg.compare(0, 2, "--") != 0) {
      Parsed.Positional.push_back(Arg);
      continue;
    }
    bool Accepted = false;
    for (const std::string& Flag : Command.Flags) Accepted = Accepted || Flag == Arg;
    if (!Accepted) throw TUsageError("unknown option '" + Arg + "' for " + Command.Name);
    if (i + 1 >= Args.size()) throw TUsageError("option " + Arg + " needs a value");
    const std::string& Value = Args[++i];
    if (Arg == "--password") {
      Parsed.Options.Password = zev::AnsiFromUtf8(Value);
      Parsed.Options.PasswordGiven = true;
    } else if (Arg == "--page-size") {
      Parsed.Options.PageSize = parseCount(Arg, Value, 512, 65535);
    } else if (Arg == "--slots") {
      Parsed.Options.Slots = parseCount(Arg, Value, 1, 100000);
    }
  }
  if (Parsed.Positional.size() < Command.Arguments.size()) {
    throw TUsageError(std::string(Command.Name) + ": missing argument " +
                      Command.Arguments[Parsed.Positional.size()]);
  }
  if (Parsed.Positional.size() > Command.Arguments.size()) {
    throw TUsageError(std::string(Command.Name) + ": unexpected argument '" +
                      Parsed.Positional[Command.Arguments.size()] + "'");
  }
  return Parsed;
}

const std::vector<TCommand>& commands() {
  using namespace zevtool;
  static const std::vector<TCommand> kCommands = {
      {"create",
       {"FILE"},
       {"--password", "--page-size", "--slots"},
       [](const TParsedArgs& A) { return CreateCommand(A.Positional[0], A.Options, std::cout); }},
      {"create-reference",
       {"FILE"},
       {},
       [](const TParsedArgs& A) { return CreateReferenceCommand(A.Positional[0], std::cout); }},
      {"load",
       {"FILE", "TABLE", "CSV"},
       {"--password"},
       [](const TParsedArgs& A) {
         return LoadCommand(A.Positional[0], A.Positional[1], A.Positional[2], A.Options,
                            std::cout);
       }},
      {"tables",
       {"FILE"},
       {"--password"},
       [](const TParsedArgs& A) { return TablesCommand(A.Positional[0], A.Options, std::cout); }},
      {"dump",
       {"FILE", "TABLE"},
       {"--password"},
       [](const TParsedArgs& A) {
         return DumpCommand(A.Positional[0], A.Positional[1], A.Options, std::cout);
       }},
      {"header",
       {"FILE"},
       {"--password"},
       [](const TParsedArgs& A) { return HeaderCommand(A.Positional[0], A.Options, std::cout); }},
      {"check",
       {"FILE"},
       {"--password"},
       [](const TParsedArgs& A) { return CheckCommand(A.Positional[0], A.Options, std::cout); }},
      {"compact",
       {"FILE"},
       {"--password"},
       [](const TParsedArgs& A) { return CompactCommand(A.Positional[0], A.Options, std::cout); }},
      {"repair",
       {"FILE"},
       {"--password"},
       [](const TParsedArgs& A) { return RepairCommand(A.Positional[0], A.Options, std::cout); }},
      {"blob-get",
       {"FILE", "TABLE", "FIELD", "ROW", "OUT"},
       {"--password"},
       [](const TParsedArgs& A) {
         const std::vector<std::string>& P = A.Positional;
         return BlobGetCommand(P[0], P[1], P[2], P[3], P[4], A.Options, std::cout);
       }},
      {"blob-put",
       {"FILE", "TABLE", "FIELD", "ROW", "IN"},
       {"--password"},
       [](const TParsedArgs& A) {
         const std::vector<std::string>& P = A.Positional;
         return BlobPutCommand(P[0], P[1], P[2], P[3], P[4], A.Options, std::cout);
       }},
  };
  return kCommands;
}

int run(const std::vector<std::string>& Args) {
  if (Args.empty()) throw TUsageError("missing command (zevtool --help lists them)");
  const std::string& Name = Args[0];
  if (Name == "help" || Name == "--help" || Name == "-h") {
    std::cout << kUsage;
    return kExitOK;
  }
  for (const TCommand& Command : commands()) {
    if (Name == Command.Name) {
      const TParsedArgs Parsed =
          parseArguments(Command, std::vector<std::string>(Args.begin() + 1, Args.end()));
      return Command.Run(Parsed);
    }
  }
  throw TUsageError("unknown command '" + Name + "' (zevtool --help lists the commands)");
}

// Messages may quote bytes of a damaged file: control characters would break the one line.
std::string oneLine(std::string Text) {
  for (char& C : Text) {
    if (static_cast<unsigned char>(C) < 0x20) C = ' ';
  }
  return Text;
}

void reportError(const std::string& Message) {
  std::cerr << "zevtool: " << oneLine(Message) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Args(argv + 1, argv + argc);
  try {
    const int Code = run(Args);
    std::cout.flush();
    return Code;
  } catch (const TUsageError& E) {
    reportError(E.what());
    return kExitUsage;
  } catch (const ::Exception& E) {
    reportError(zev::Utf8FromAnsi(E.Message()));
    return kExitFailure;
  } catch (const std::exception& E) {
    reportError(E.what());
    return kExitFailure;
  }
}
