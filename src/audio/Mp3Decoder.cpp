#include "audio/Decoder.h"
