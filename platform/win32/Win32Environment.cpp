#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/Win32Environment.h"
#include "platform/win32/Win32Text.h"

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  // No KF_FLAG_CREATE: a folder the user removed is not made behind their back.
  const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &path);
  std::string result = SUCCEEDED(hr) && path ? Utf8FromWide(path) : std::string();
  CoTaskMemFree(path);
  while (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

}  // namespace

std::uint32_t UserDefaultLocale() { return GetUserDefaultLCID(); }

std::string LocalAppDataFolder() { return KnownFolder(FOLDERID_LocalAppData); }

std::string MyPicturesFolder() { return KnownFolder(FOLDERID_Pictures); }
