#include <gtest/gtest.h>

#include "app/BackendChoice.h"

namespace {

// Each case: the environment, whether the layer surface opens (else why
// not), what is chosen, whether a surface was tried and what is said.
TEST(BackendChoice, LayerSurfaceWhereOfferedElseX11UnlessTheUserNamesAPlatform) {
  using K = TBackendChoice;
  const struct {
    const char* name;
    TBackendFacts facts;
    const char* opens;  // nullptr: the surface opens
    K::TKind kind;
    bool tried;
    const char* notice;  // a part of it; nullptr: none
  } cases[] = {
      {"sway", {{}, false, false, {true, true}}, nullptr, K::LayerSurface, true, nullptr},
      {"sway without XWayland", {{}, false, false, {true, false}}, nullptr, K::LayerSurface, true, nullptr},
      {"GNOME", {{}, false, false, {true, true}}, "no layer shell", K::X11, true, "no layer shell"},
      {"stale WAYLAND_DISPLAY, no X", {{}, false, false, {true, false}}, "gone", K::Toolkit, true, "no X display"},
      {"X11 session", {{}, false, false, {false, true}}, nullptr, K::X11, false, nullptr},
      {"nothing", {{}, false, false, {false, false}}, nullptr, K::Toolkit, false, nullptr},
      // The user's naming of the toolkit's platform wins, as the test harnesses rely on.
      {"QT_QPA_PLATFORM", {{}, false, true, {true, true}}, nullptr, K::Toolkit, false, nullptr},
      {"-platform", {{}, true, false, {true, true}}, nullptr, K::Toolkit, false, nullptr},
      {"-platform and KORIVAN_BACKEND", {"wayland", true, false, {true, true}}, nullptr, K::Toolkit, false,
       "KORIVAN_BACKEND ignored"},
      // The program's own override wins over QT_QPA_PLATFORM.
      {"x11 asked", {"x11", false, true, {true, true}}, nullptr, K::X11, false, nullptr},
      {"wayland asked", {"wayland", false, true, {true, true}}, nullptr, K::LayerSurface, true, nullptr},
      {"wayland asked, none", {"wayland", false, false, {false, true}}, "no compositor", K::X11, true,
       "no Wayland overlay (no compositor)"},
      {"unknown asked", {"mir", false, false, {false, true}}, nullptr, K::X11, false, "KORIVAN_BACKEND=mir"},
  };
  for (const auto& c : cases) {
    bool tried = false;
    const TBackendChoice choice = ChooseBackend(c.facts, [&] {
      tried = true;
      return c.opens ? QString::fromLatin1(c.opens) : QString();
    });
    EXPECT_EQ(choice.Kind, c.kind) << c.name;
    EXPECT_EQ(tried, c.tried) << c.name;
    if (c.notice)
      EXPECT_TRUE(choice.Notice.contains(QLatin1String(c.notice))) << c.name << ": " << choice.Notice.toStdString();
    else
      EXPECT_TRUE(choice.Notice.isEmpty()) << c.name << ": " << choice.Notice.toStdString();
  }
}

}  // namespace
