// Run-length coders in MB/s, and whole processes on a 3840 x 2160 screen:
// korivan-imgtool against ImageMagick's convert, each row timing both
// alternately in the same run (counters ours_ms, magick_ms, magick/ours).

#include <benchmark/benchmark.h>

#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

#include "imaging/FMXPSD.h"
#include "imaging/FMXTGA.h"

extern char** environ;

namespace {

constexpr int W = 3840, H = 2160;

// A desktop: a gradient background, flat windows with lines of "text", and a
// photograph-like area of smooth noise.
const QImage& Screen() {
  static const QImage img = [] {
    QImage s(W, H, QImage::Format_ARGB32);
    std::uint32_t r = 12345;
    auto rnd = [&r] {
      r ^= r << 13;
      r ^= r >> 17;
      r ^= r << 5;
      return r;
    };
    for (int y = 0; y < H; ++y) {
      auto* row = reinterpret_cast<QRgb*>(s.scanLine(y));
      for (int x = 0; x < W; ++x) row[x] = qRgb(20, 40 + y * 100 / H, 90 + y * 120 / H);
    }
    const QRect windows[] = {{100, 80, 1600, 1000}, {1900, 200, 1700, 1200}, {400, 1200, 1400, 850}};
    for (const QRect& w : windows) {
      for (int y = w.top(); y <= w.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(s.scanLine(y));
        const bool title = y < w.top() + 40;
        const bool text = !title && (y - w.top()) % 24 < 14;
        for (int x = w.left(); x <= w.right(); ++x) {
          QRgb p = title ? qRgb(60, 60, 70) : qRgb(250, 250, 250);
          if (text && x > w.left() + 20 && x < w.right() - 200 && (rnd() & 7) == 0) p = qRgb(30, 30, 30);
          row[x] = p;
        }
      }
    }
    for (int y = 300; y < 900; ++y) {
      auto* row = reinterpret_cast<QRgb*>(s.scanLine(y));
      for (int x = 2000; x < 2800; ++x)
        row[x] = qRgb((x + y) / 6 % 256 + int(rnd() % 8), (x * 2 / 7) % 256 + int(rnd() % 8), (y / 3) % 256);
    }
    return s;
  }();
  return img;
}

void BM_PackBits(benchmark::State& state) {
  const QImage& s = Screen();
  std::vector<std::uint8_t> row(W), out(std::size_t(PackRowBound(W)));
  std::vector<std::vector<std::uint8_t>> rows(H, std::vector<std::uint8_t>(W));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) rows[std::size_t(y)][std::size_t(x)] = s.constScanLine(y)[4 * x + 2];
  std::int64_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& r : rows) packed += PackRow(r.data(), W, out.data());
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(W) * H);
  state.counters["ratio"] = double(packed) / (double(W) * H);
}
BENCHMARK(BM_PackBits)->Unit(benchmark::kMillisecond);

void BM_UnpackBits(benchmark::State& state) {
  const QImage& s = Screen();
  std::vector<std::vector<std::uint8_t>> packed;
  std::vector<std::uint8_t> row(W), out(std::size_t(PackRowBound(W)));
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) row[std::size_t(x)] = s.constScanLine(y)[4 * x + 2];
    packed.emplace_back(out.begin(), out.begin() + PackRow(row.data(), W, out.data()));
  }
  for (auto _ : state) {
    for (const auto& p : packed) benchmark::DoNotOptimize(UnpackRow(p, row.data(), W));
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(W) * H);
}
BENCHMARK(BM_UnpackBits)->Unit(benchmark::kMillisecond);

// Bytes processed: three colour bytes per pixel, as stored in the file.
void BM_TGARleEncode(benchmark::State& state) {
  const QImage& s = Screen();
  std::vector<std::uint8_t> out(std::size_t(TGARowBound(W)));
  std::int64_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (int y = 0; y < H; ++y) packed += PackTGARow(reinterpret_cast<const QRgb*>(s.constScanLine(y)), W, out.data());
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(W) * H * 3);
  state.counters["ratio"] = double(packed) / (double(W) * H * 3);
}
BENCHMARK(BM_TGARleEncode)->Unit(benchmark::kMillisecond);

void BM_TGARleDecode(benchmark::State& state) {
  const QImage& s = Screen();
  QByteArray file(TGAHeaderSize, 0);
  file[2] = 10;
  file[12] = char(W & 0xFF);
  file[13] = char(W >> 8);
  file[14] = char(H & 0xFF);
  file[15] = char(H >> 8);
  file[16] = 24;
  file[17] = 0x20;
  std::vector<std::uint8_t> out(std::size_t(TGARowBound(W)));
  for (int y = 0; y < H; ++y) {
    const int n = PackTGARow(reinterpret_cast<const QRgb*>(s.constScanLine(y)), W, out.data());
    file.append(reinterpret_cast<const char*>(out.data()), n);
  }
  QImage img;
  TTGAParamsVals info;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        DecodeTGA({reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())}, img, info));
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(W) * H * 3);
}
BENCHMARK(BM_TGARleDecode)->Unit(benchmark::kMillisecond);

double RunSeconds(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  // The child's output would only clutter the table.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, args[0], &quiet, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (failed) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const auto t1 = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double>(t1 - t0).count();
}

struct TFiles {
  QTemporaryDir dir;
  std::string magick;
  std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
  TFiles() {
    for (const char* name : {"convert-im6.q16", "convert"}) {
      magick = QStandardPaths::findExecutable(name).toStdString();
      if (!magick.empty()) break;
    }
    // The screen as the save path writes it, and the files read back.
    const QImage opaque = Screen().convertToFormat(QImage::Format_RGB32);
    SaveTGAFile(dir.filePath("src.tga"), opaque, "bench", true);
    SaveTGAFile(dir.filePath("in24.tga"), opaque, "bench", false);
    SaveBitmapAsPSD(dir.filePath("in.psd"), opaque);
    opaque.save(dir.filePath("src.bmp"));
  }
};

const TFiles& Files() {
  static const TFiles f;
  return f;
}

// One row: ours and ImageMagick's, alternately, same input, same output format.
void Compare(benchmark::State& state, const std::vector<std::string>& ours, const std::vector<std::string>& theirs) {
  if (Files().magick.empty()) {
    state.SkipWithError("ImageMagick's convert is not installed");
    return;
  }
  double a = 0, b = 0;
  for (auto _ : state) {
    const double x = RunSeconds(ours), y = RunSeconds(theirs);
    if (x < 0 || y < 0) {
      state.SkipWithError("a conversion failed");
      return;
    }
    a += x;
    b += y;
  }
  const double n = double(state.iterations());
  state.counters["ours_ms"] = 1000 * a / n;
  state.counters["magick_ms"] = 1000 * b / n;
  state.counters["magick/ours"] = b / a;
}

std::vector<std::string> Ours(std::initializer_list<std::string> args) {
  std::vector<std::string> v{KORIVAN_IMGTOOL};
  v.insert(v.end(), args);
  return v;
}

std::vector<std::string> Magick(std::initializer_list<std::string> args) {
  std::vector<std::string> v{Files().magick};
  v.insert(v.end(), args);
  return v;
}

// Writing: the 32-bit TGA screen converted to each format (our files are
// top-down, so ImageMagick is asked for the same orientation).
void BM_Write_TGA32(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", f.Path("src.tga"), f.Path("o32.tga")}),
          Magick({f.Path("src.tga"), "-compress", "None", "-orient", "TopLeft", f.Path("m32.tga")}));
}

void BM_Write_TGA24RLE(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", "--no-alpha", f.Path("src.tga"), f.Path("o24.tga")}),
          Magick({f.Path("src.tga"), "-alpha", "off", "-compress", "RLE", "-orient", "TopLeft", f.Path("m24.tga")}));
}

void BM_Write_PSD(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", f.Path("src.tga"), f.Path("o.psd")}),
          Magick({f.Path("src.tga"), "-compress", "RLE", f.Path("m.psd")}));
}

// Reading back: every pixel decoded, nothing written.
void BM_Read_TGA32(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"info", f.Path("src.tga")}), Magick({f.Path("src.tga"), "null:"}));
}

void BM_Read_TGA24RLE(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"info", f.Path("in24.tga")}), Magick({f.Path("in24.tga"), "null:"}));
}

void BM_Read_PSD(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"info", f.Path("in.psd")}), Magick({f.Path("in.psd"), "null:"}));
}

// Reading back into a BMP file written by Qt's encoder (and synced to disk).
void BM_ReadToBMP_TGA32(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", f.Path("src.tga"), f.Path("o32.bmp")}), Magick({f.Path("src.tga"), f.Path("m32.bmp")}));
}

void BM_ReadToBMP_TGA24RLE(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", f.Path("in24.tga"), f.Path("o24.bmp")}), Magick({f.Path("in24.tga"), f.Path("m24.bmp")}));
}

void BM_ReadToBMP_PSD(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", f.Path("in.psd"), f.Path("op.bmp")}), Magick({f.Path("in.psd"), f.Path("mp.bmp")}));
}

// For reference: from a BMP source most of our time is Qt's BMP decoder.
void BM_WriteFromBMP_TGA24RLE(benchmark::State& state) {
  const TFiles& f = Files();
  Compare(state, Ours({"convert", "--no-alpha", f.Path("src.bmp"), f.Path("b24.tga")}),
          Magick({f.Path("src.bmp"), "-alpha", "off", "-compress", "RLE", "-orient", "TopLeft", f.Path("n24.tga")}));
}

BENCHMARK(BM_Write_TGA32)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_TGA24RLE)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_PSD)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_TGA32)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_TGA24RLE)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_PSD)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadToBMP_TGA32)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadToBMP_TGA24RLE)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadToBMP_PSD)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFromBMP_TGA24RLE)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
