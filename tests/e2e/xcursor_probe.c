/* The X cursor as the screen shows it now, through XFixes: one line per look,
 *
 *   serial=S size=WxH hotspot=X,Y opaque=N checksum=C
 *
 * S is the server's serial of the cursor image (a new cursor, or a new frame
 * of an animated one, gets a new serial), N the number of pixels that are not
 * fully transparent and C a checksum (FNV-1a) of the ARGB pixels.
 *
 *   xcursor_probe [COUNT [INTERVAL_MS]]
 *
 * looks COUNT times (default 1), INTERVAL_MS apart (default 100). Exits 2
 * when the display or the extension is not there.
 */
#define _POSIX_C_SOURCE 199309L
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static void pause_ms(long ms) {
  struct timespec wait;
  wait.tv_sec = ms / 1000;
  wait.tv_nsec = (ms % 1000) * 1000000L;
  nanosleep(&wait, NULL);
}

static int probe(Display* display) {
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) {
    fprintf(stderr, "xcursor_probe: no cursor image\n");
    return 1;
  }
  uint32_t checksum = 2166136261u;
  unsigned long opaque = 0;
  const unsigned long count = (unsigned long)image->width * image->height;
  for (unsigned long i = 0; i < count; ++i) {
    /* 32 bits of ARGB in each unsigned long, whatever its width. */
    const uint32_t pixel = (uint32_t)(image->pixels[i] & 0xffffffffu);
    if (pixel >> 24) ++opaque;
    for (int byte = 0; byte < 4; ++byte) {
      checksum ^= (pixel >> (8 * byte)) & 0xffu;
      checksum *= 16777619u;
    }
  }
  printf("serial=%lu size=%ux%u hotspot=%u,%u opaque=%lu checksum=%08x\n", image->cursor_serial,
         (unsigned)image->width, (unsigned)image->height, (unsigned)image->xhot, (unsigned)image->yhot,
         opaque, checksum);
  fflush(stdout);
  XFree(image);
  return 0;
}

int main(int argc, char** argv) {
  const long times = argc > 1 ? atol(argv[1]) : 1;
  const long interval = argc > 2 ? atol(argv[2]) : 100;
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "xcursor_probe: cannot open the display\n");
    return 2;
  }
  int event_base = 0, error_base = 0;
  if (!XFixesQueryExtension(display, &event_base, &error_base)) {
    fprintf(stderr, "xcursor_probe: the X server has no XFixes\n");
    XCloseDisplay(display);
    return 2;
  }
  int major = 0, minor = 0;
  XFixesQueryVersion(display, &major, &minor);
  int result = 0;
  for (long i = 0; i < times && result == 0; ++i) {
    if (i > 0) pause_ms(interval);
    result = probe(display);
  }
  XCloseDisplay(display);
  return result;
}
