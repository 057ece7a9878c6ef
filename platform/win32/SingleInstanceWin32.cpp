// The guard is a named mutex in the session's namespace, as other builds of
// the program name it, so that any two of them exclude each other. The
// system closes the handle when the process ends, however it ends.

#include <windows.h>

#include <algorithm>

#include "platform/Platform.h"
#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Text.h"

namespace {

bool IsFolder(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// Nothing on Windows keeps files there; the guard needs none.
std::string UserRuntimeFolder() { return LocalAppDataFolder(); }

TSingleInstance::TSingleInstance(std::string_view name) { Acquire(name, std::string()); }

// The folder scopes the name, so that a guard made for a test never meets the
// program's own.
TSingleInstance::TSingleInstance(std::string_view name, const std::string& folder) {
  if (!IsFolder(folder)) return;
  std::string scope = folder;
  std::replace(scope.begin(), scope.end(), '\\', '/');
  Acquire(name, scope);
}

TSingleInstance::~TSingleInstance() {
  if (FHandle != -1) CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

void TSingleInstance::Acquire(std::string_view name, const std::string& folder) {
  FState = TInstanceState::Unguarded;
  // A backslash would pick a kernel namespace ("Global\") instead of naming the guard.
  if (name.empty() || name.find('\\') != std::string_view::npos) return;
  std::string full(name);
  if (!folder.empty()) full += "@" + folder;
  const std::wstring wide = WideFromUtf8(full);
  if (wide.empty()) return;
  // No security attributes: the handle is not inherited by programs we start.
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
  const DWORD error = GetLastError();
  if (!mutex) {
    // Made by an instance running with other rights: it is there all the same.
    if (error == ERROR_ACCESS_DENIED) FState = TInstanceState::AlreadyRunning;
    return;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    // Our handle would keep the first instance's mutex alive after it ends.
    CloseHandle(mutex);
    FState = TInstanceState::AlreadyRunning;
    return;
  }
  FHandle = reinterpret_cast<std::intptr_t>(mutex);
  FState = TInstanceState::First;
}

// Close requests reach the window as messages.
int CloseRequestDescriptor() { return -1; }
void AcknowledgeCloseRequest() {}
