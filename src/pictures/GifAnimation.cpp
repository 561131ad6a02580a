#include "pictures/GifAnimation.h"
