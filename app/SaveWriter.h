#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Writes pictures one after another on a thread of its own, so that the
// window takes input again as soon as the screen is captured. Jobs run in
// the order they were posted. Each outcome is handed to the owner on the UI
// thread through the notify function, which only tells that an outcome is
// waiting; TakeResult collects it there.
class TSaveWriter {
 public:
  struct TResult {
    QString FileName;
    std::exception_ptr Error;  // null when the file was written
  };
  using TJob = std::function<void()>;  // raises when the file cannot be written

  // notify is called once per finished job, from the writing thread.
  explicit TSaveWriter(std::function<void()> notify);
  // Waits for every posted job.
  ~TSaveWriter();
  TSaveWriter(const TSaveWriter&) = delete;
  TSaveWriter& operator=(const TSaveWriter&) = delete;

  // Queued behind any running job; with Synchronous set, run at once on the
  // calling thread, its error raised there.
  void Post(const QString& fileName, TJob job);
  // Returns once every job posted so far has finished.
  void WaitForAll();
  // The oldest outcome not yet taken; false when there is none.
  bool TakeResult(TResult& result);
  bool HasResults() const;
  // Jobs posted and not yet finished.
  int Pending() const;

  bool Synchronous = false;

 private:
  void Run();

  std::function<void()> FNotify;
  mutable std::mutex FLock;
  std::condition_variable FWake;
  std::condition_variable FIdle;
  std::deque<std::pair<QString, TJob>> FJobs;
  std::deque<TResult> FResults;
  int FRunning = 0;
  bool FStop = false;
  std::thread FThread;
};
