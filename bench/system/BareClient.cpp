// The floor of ink latency on an X display: a bare Xlib client with a window
// over the whole screen that fills an 8 x 8 square at each pointer motion
// and flushes. The whole-system benchmark measures it beside the overlay.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

int main() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  const int screen = DefaultScreen(d);
  XSetWindowAttributes a{};
  // The backdrop's colour, so that only the squares show.
  a.background_pixel = 0xC8C8C8;
  a.override_redirect = True;
  a.event_mask = PointerMotionMask | ButtonPressMask | ButtonReleaseMask;
  const Window w =
      XCreateWindow(d, RootWindow(d, screen), 0, 0, static_cast<unsigned>(DisplayWidth(d, screen)),
                    static_cast<unsigned>(DisplayHeight(d, screen)), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
  XStoreName(d, w, "bare client");
  XMapRaised(d, w);
  const GC gc = XCreateGC(d, w, 0, nullptr);
  XSetForeground(d, gc, 0x000000);
  XFlush(d);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type != MotionNotify) continue;
    XFillRectangle(d, w, gc, e.xmotion.x - 4, e.xmotion.y - 4, 8, 8);
    XFlush(d);
  }
}
