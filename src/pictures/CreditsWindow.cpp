#include "pictures/CreditsWindow.h"
