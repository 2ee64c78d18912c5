// The module's configuration: the three paths read once at start-up from the INI file named on
// the command line. Missing file, section or key: empty text. The file is never written.
#pragma once

#include "engine/storage/ZEVCodePage.h"

struct TConfiguration {
  AnsiString CheminBase;    // [Database] Path
  AnsiString CheminEntree;  // [Xml] InPath
  AnsiString CheminSortie;  // [Xml] OutPath
};

// Reads Database/Path, Xml/InPath and Xml/OutPath, in this order; the reader is released before
// returning, also when a read raises.
TConfiguration LireConfiguration(const AnsiString& CheminConfiguration);
