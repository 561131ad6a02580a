#include "pictures/TitlerScroll.h"
