#include "app/SaveWriter.h"

TSaveWriter::TSaveWriter(std::function<void()> notify) : FNotify(std::move(notify)) {}

TSaveWriter::~TSaveWriter() {
  WaitForAll();
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TSaveWriter::Post(const QString& fileName, TJob job) {
  if (Synchronous) {
    job();
    return;
  }
  {
    std::lock_guard lock(FLock);
    FJobs.emplace_back(fileName, std::move(job));
    // Started with the first job, so that a window that never saves runs no thread.
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
  }
  FWake.notify_one();
}

void TSaveWriter::WaitForAll() {
  std::unique_lock lock(FLock);
  FIdle.wait(lock, [this] { return FJobs.empty() && FRunning == 0; });
}

bool TSaveWriter::TakeResult(TResult& result) {
  std::lock_guard lock(FLock);
  if (FResults.empty()) return false;
  result = std::move(FResults.front());
  FResults.pop_front();
  return true;
}

bool TSaveWriter::HasResults() const {
  std::lock_guard lock(FLock);
  return !FResults.empty();
}

int TSaveWriter::Pending() const {
  std::lock_guard lock(FLock);
  return int(FJobs.size()) + FRunning;
}

void TSaveWriter::Run() {
  std::unique_lock lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
    if (FJobs.empty()) return;
    auto [fileName, job] = std::move(FJobs.front());
    FJobs.pop_front();
    ++FRunning;
    lock.unlock();
    TResult result{fileName, nullptr};
    try {
      job();
    } catch (...) {
      result.Error = std::current_exception();
    }
    job = nullptr;  // the pictures it holds go now, not with the next job
    lock.lock();
    FResults.push_back(std::move(result));
    lock.unlock();
    // Before the job counts as finished, so that nothing is told after a wait.
    FNotify();
    lock.lock();
    --FRunning;
    if (FJobs.empty() && FRunning == 0) FIdle.notify_all();
  }
}
