#include <windows.h>

#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Win32Text.h"

std::string FileVersionText(const std::string& fileName) {
  const std::wstring path = WideFromUtf8(fileName);
  if (path.empty()) return {};
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  void* block = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", &block, &length) || !block ||
      length < sizeof(VS_FIXEDFILEINFO))
    return {};
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
  if (info->dwSignature != 0xFEEF04BD) return {};
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}
