// TdmKestrevaud: the data module of the module, which owns the connection to the reference
// database. Created by start-up before the main window, owned by the application object, and
// reached through the global pointer dmKestrevaud for the life of the process.
// Errors: none raised yet.
#pragma once

#include "engine/tables/Component.h"

class TdmKestrevaud : public TDataModule {
 public:
  explicit TdmKestrevaud(TComponent* Owner);
};

// Set by start-up when the application creates the data module; a link, never owned here.
extern TdmKestrevaud* dmKestrevaud;
