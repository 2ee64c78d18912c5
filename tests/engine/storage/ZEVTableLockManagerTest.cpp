#include "engine/storage/ZEVTableLockManager.h"
