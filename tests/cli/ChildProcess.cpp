#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

std::vector<std::string> ChildResult::OutLines() const {
  std::vector<std::string> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options) {
  ChildResult result;
  int outPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  int errRead = -1;
  int errWrite = -1;
  if (options.stderrOnTerminal) {
    if (openpty(&errRead, &errWrite, nullptr, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed";
      return result;
    }
    fcntl(errRead, F_SETFD, FD_CLOEXEC);
    fcntl(errWrite, F_SETFD, FD_CLOEXEC);
  } else {
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe failed";
      return result;
    }
    errRead = errPipe[0];
    errWrite = errPipe[1];
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errWrite, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::vector<std::string> argumentStore{program};
  argumentStore.insert(argumentStore.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : argumentStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environmentStore;
  for (char** e = environ; *e != nullptr; ++e) environmentStore.emplace_back(*e);
  environmentStore.insert(environmentStore.end(), options.extraEnvironment.begin(),
                          options.extraEnvironment.end());
  std::vector<char*> envp;
  for (auto& e : environmentStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errWrite);
  if (spawned != 0) {
    ADD_FAILURE() << "posix_spawn " << program << " failed: " << std::strerror(spawned);
    close(outPipe[0]);
    close(errRead);
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + options.deadline;
  bool outOpen = true;
  bool errOpen = true;
  size_t lineStart = 0;
  while (outOpen || errOpen) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      result.timedOut = true;
      break;
    }
    pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errRead : -1, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buffer[4096];
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = read(outPipe[0], buffer, sizeof buffer);
      if (n <= 0) {
        outOpen = false;
      } else {
        result.out.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = result.out.find('\n', lineStart)) != std::string::npos;) {
          const std::string line = result.out.substr(lineStart, end - lineStart);
          lineStart = end + 1;
          if (options.onOutLine) options.onOutLine(line, pid);
        }
      }
    }
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = read(errRead, buffer, sizeof buffer);
      if (n <= 0) {
        errOpen = false;  // a pseudo-terminal reads EIO once the child is gone
      } else {
        result.err.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(outPipe[0]);
  close(errRead);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}
