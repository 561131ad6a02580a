#include "pictures/CursorFile.h"
