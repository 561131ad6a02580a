#include "pictures/GifImageWidget.h"
