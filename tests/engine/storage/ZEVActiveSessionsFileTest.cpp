#include "engine/storage/ZEVActiveSessionsFile.h"
