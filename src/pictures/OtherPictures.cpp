#include "pictures/OtherPictures.h"
