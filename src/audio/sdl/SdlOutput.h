// The SDL2 output device.
#pragma once

#include "audio/AudioOutput.h"
