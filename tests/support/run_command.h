// Runs a program (no shell) and collects its standard output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testsupport {

// The exit status of the command (-1 when it did not exit normally); its
// standard output goes to `out` when given.
inline int RunCommand(const std::vector<std::string> &args, std::string *out) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFd[1], 1);
    close(pipeFd[0]);
    close(pipeFd[1]);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFd[1]);
  std::string text;
  char buf[65536];
  ssize_t n;
  while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
  close(pipeFd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
