#include "pictures/CursorWidget.h"
