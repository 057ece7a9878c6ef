#pragma once

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <vector>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "drawing/PenItem.h"

// A console reporter that also keeps each benchmark's time per iteration in
// milliseconds, so that a summary can set baseline and ours side by side.
class TRecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const std::string& name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        Times[name] = r.GetAdjustedRealTime() * Scale(r.time_unit);
        CpuTimes[name] = r.GetAdjustedCPUTime() * Scale(r.time_unit);
        continue;
      }
      if (r.run_type != Run::RT_Iteration) continue;
      FWall[name].push_back(r.GetAdjustedRealTime() * Scale(r.time_unit));
      FCpu[name].push_back(r.GetAdjustedCPUTime() * Scale(r.time_unit));
      Times[name] = Median(FWall[name]);
      CpuTimes[name] = Median(FCpu[name]);
    }
  }
  // Wall-clock and processor time per iteration in milliseconds, by name;
  // the median over repetitions when a benchmark is repeated.
  std::map<std::string, double> Times;
  std::map<std::string, double> CpuTimes;

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
  std::map<std::string, std::vector<double>> FWall, FCpu;
  static double Scale(benchmark::TimeUnit u) {
    switch (u) {
      case benchmark::kNanosecond: return 1e-6;
      case benchmark::kMicrosecond: return 1e-3;
      case benchmark::kMillisecond: return 1;
      case benchmark::kSecond: return 1e3;
    }
    return 1;
  }
};

// Rows of a wave written across the surface, about 4 pixels a point, as a
// hand moves the pointer; the same shape on every surface size.
inline TPolygon Handwriting(int width, int height, int n) {
  TPolygon pts;
  pts.reserve(static_cast<std::size_t>(n));
  float x = 100, row = 150;
  for (int i = 0; i < n; ++i) {
    x += 3;
    if (x > width - 100) {
      x = 100;
      row += 200;
      if (row > height - 100) row = 150;
    }
    pts.push_back({x, row + 60 * std::sin(i * 0.05f)});
  }
  return pts;
}

inline void EnsureGuiApp() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}
