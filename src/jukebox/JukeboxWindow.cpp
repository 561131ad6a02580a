#include "jukebox/JukeboxWindow.h"
