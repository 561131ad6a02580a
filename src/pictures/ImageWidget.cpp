#include "pictures/ImageWidget.h"
