#include "audio/sdl/SdlOutput.h"
