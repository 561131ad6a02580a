#include "pictures/TitlerWidget.h"
