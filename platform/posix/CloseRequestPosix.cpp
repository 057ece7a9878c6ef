#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Platform.h"

namespace {

int Pipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!write(Pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

int CloseRequestDescriptor() {
  if (Pipe[0] >= 0) return Pipe[0];
  if (pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    Pipe[0] = Pipe[1] = -1;
    return -1;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
  return Pipe[0];
}

void AcknowledgeCloseRequest() {
  char buffer[64];
  while (Pipe[0] >= 0 && read(Pipe[0], buffer, sizeof buffer) > 0) {
  }
}
