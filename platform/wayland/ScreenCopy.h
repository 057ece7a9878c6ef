#pragma once

// What an output shows, read through the compositor's screen-copy service
// (wlr-screencopy) into a shared-memory buffer of the format it asks for.

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

struct wl_display;
struct wl_output;
struct wl_shm;
struct zwlr_screencopy_manager_v1;

// Reads and dispatches the connection's events (all of them, as a roundtrip
// does) until done() holds. False when timeoutMs passes first or the
// connection is lost: a compositor that never answers must not hang us.
bool DispatchUntil(wl_display* display, const std::function<bool()>& done, int timeoutMs);

struct TScreenCopySource {
  wl_display* Display = nullptr;
  wl_shm* Shm = nullptr;
  zwlr_screencopy_manager_v1* Manager = nullptr;
  std::uint32_t ManagerVersion = 0;
  wl_output* Output = nullptr;
  int Scale = 1;  // the output's: rect is in its device pixels
};

// Copies rect of the output as opaque 0xFFRRGGBB pixels, row after row, into
// pixels (rect.Width * rect.Height of them), without the pointer. False,
// pixels untouched and the reason in error, when the copy cannot be made.
bool CopyOutput(const TScreenCopySource& source, const TPlatformRect& rect, std::span<std::uint32_t> pixels,
                int timeoutMs, std::string& error);

