#include "shell/Configuration.h"

#include <memory>

#include "shell/IniFile.h"

TConfiguration LireConfiguration(const AnsiString& CheminConfiguration) {
  auto ini = std::make_unique<TIniFile>(CheminConfiguration);
  TConfiguration config;
  config.CheminBase = ini->ReadString("Database", "Path", "");
  config.CheminEntree = ini->ReadString("Xml", "InPath", "");
  config.CheminSortie = ini->ReadString("Xml", "OutPath", "");
  return config;
}
