#pragma once

// Which display servers the session's environment names, for choosing at
// start what the overlay runs on.

struct TSessionDisplays {
  bool Wayland = false;  // a Wayland compositor (its socket's name or descriptor)
  bool X11 = false;      // an X server, XWayland's included
};

TSessionDisplays SessionDisplays();
