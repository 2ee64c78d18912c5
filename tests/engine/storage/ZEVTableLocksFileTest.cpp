#include "engine/storage/ZEVTableLocksFile.h"
