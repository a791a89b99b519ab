/* The yardstick for the launcher's start-up: the least an Xlib program does to show a
 * 546 x 319 picture. It opens the display, maps a window, puts one image on the first expose
 * and then waits for events until it is closed or killed. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

enum { kWidth = 546, kHeight = 319 };

int main(void) {
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "minimal_xlib: cannot open display\n");
    return 1;
  }
  int screen = DefaultScreen(dpy);
  int x = (DisplayWidth(dpy, screen) - kWidth) / 2, y = (DisplayHeight(dpy, screen) - kHeight) / 2;
  XSetWindowAttributes attrs;
  attrs.background_pixmap = None;
  attrs.event_mask = ExposureMask | StructureNotifyMask;
  Window win = XCreateWindow(dpy, RootWindow(dpy, screen), x < 0 ? 0 : x, y < 0 ? 0 : y, kWidth, kHeight, 0,
                             CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attrs);
  XStoreName(dpy, win, "minimal");
  Atom wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(dpy, win, &wm_delete, 1);

  /* One 32-bit picture, a plain gradient: what a decoded artwork would be. */
  uint32_t* pixels = malloc(sizeof(uint32_t) * kWidth * kHeight);
  if (!pixels) return 1;
  for (int j = 0; j < kHeight; ++j)
    for (int i = 0; i < kWidth; ++i) pixels[j * kWidth + i] = (uint32_t)((i * 255 / kWidth) << 16 | (j * 255 / kHeight) << 8 | 0x80);
  XImage* img = XCreateImage(dpy, DefaultVisual(dpy, screen), 24, ZPixmap, 0, (char*)pixels, kWidth, kHeight, 32, 0);
  GC gc = XCreateGC(dpy, win, 0, NULL);
  XMapWindow(dpy, win);

  for (;;) {
    XEvent e;
    XNextEvent(dpy, &e);
    if (e.type == Expose && e.xexpose.count == 0) XPutImage(dpy, win, gc, img, 0, 0, 0, 0, kWidth, kHeight);
    if (e.type == ClientMessage && (Atom)e.xclient.data.l[0] == wm_delete) break;
  }
  XDestroyImage(img);
  XFreeGC(dpy, gc);
  XCloseDisplay(dpy);
  return 0;
}
