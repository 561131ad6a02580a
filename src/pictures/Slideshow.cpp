#include "pictures/Slideshow.h"
