#include "reference/Datamodule.h"

TdmKestrevaud* dmKestrevaud = nullptr;

TdmKestrevaud::TdmKestrevaud(TComponent* Owner) : TDataModule(Owner) {}
