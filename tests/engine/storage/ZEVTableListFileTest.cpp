#include "engine/storage/ZEVTableListFile.h"
