#include "engine/storage/ZEVSystemDirectory.h"
