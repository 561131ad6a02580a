#include "pictures/PictureViewerWindow.h"
