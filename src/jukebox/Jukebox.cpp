#include "jukebox/Jukebox.h"
