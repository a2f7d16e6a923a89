/* Runs a command and prints what it cost, for bench/run:
 *   wall_seconds user_seconds sys_seconds peak_rss_kb exit_status
 * The wall time is taken on the monotonic clock around fork and wait; the CPU
 * times and the peak resident memory are the child's, from wait4. The
 * command's own output goes to the file given with -o (default /dev/null). */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Seconds(struct timeval tv) { return (double)tv.tv_sec + (double)tv.tv_usec / 1e6; }

int main(int argc, char **argv) {
  const char *output = "/dev/null";
  int first = 1;
  if (argc > 2 && strcmp(argv[1], "-o") == 0) {
    output = argv[2];
    first = 3;
  }
  if (first >= argc) {
    fprintf(stderr, "usage: timeit [-o FILE] COMMAND [ARG...]\n");
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t pid = fork();
  if (pid < 0) {
    perror("timeit: fork");
    return 2;
  }
  if (pid == 0) {
    int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    execvp(argv[first], argv + first);
    perror("timeit: exec");
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) {
    perror("timeit: wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double wall = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.6f %.6f %.6f %ld %d\n", wall, Seconds(usage.ru_utime), Seconds(usage.ru_stime),
         usage.ru_maxrss, code);
  return 0;
}
