#include "pictures/JpegDecoder.h"
