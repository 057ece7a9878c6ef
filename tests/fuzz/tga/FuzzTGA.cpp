#include <cstdint>
#include <cstdlib>

#include "imaging/FMXTGA.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QImage bitmap(2, 2, QImage::Format_ARGB32);
  bitmap.fill(0x12345678);
  const QImage before = bitmap;
  TTGAParamsVals info;
  if (DecodeTGA({data, size}, bitmap, info)) {
    if (bitmap.width() != info.fWidth || bitmap.height() != info.fHeight || bitmap.format() != QImage::Format_ARGB32)
      std::abort();
  } else if (bitmap != before) {
    std::abort();  // a refused file must leave the bitmap as it was
  }
  return 0;
}
