/* The benchmark's yardstick: the launcher's work on a solver script done
 * the plainest way in C, with no character conversion at all. Each line,
 * read with fgets, is echoed as "COMMAND : <line>\n" on standard output;
 * lines that begin with "!" are left out of OUTPUT, the rest are copied to
 * it, up to and including the first line that begins with "stop" or "STOP".
 * A line longer than the buffer is handled in pieces, each as a line.
 *
 *   plain_copy SCRIPT OUTPUT
 */
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  static char line[1 << 16];
  FILE *in, *out;
  if (argc != 3) {
    fputs("usage: plain_copy SCRIPT OUTPUT\n", stderr);
    return 2;
  }
  in = fopen(argv[1], "r");
  if (in == NULL) {
    perror(argv[1]);
    return 1;
  }
  out = fopen(argv[2], "w");
  if (out == NULL) {
    perror(argv[2]);
    return 1;
  }
  while (fgets(line, sizeof line, in) != NULL) {
    int stop = strncmp(line, "stop", 4) == 0 || strncmp(line, "STOP", 4) == 0;
    fputs("COMMAND : ", stdout);
    fputs(line, stdout);
    fputs("\n", stdout);
    if (stop || line[0] != '!') fputs(line, out);
    if (stop) break;
  }
  fclose(in);
  if (fclose(out) != 0 || fflush(stdout) != 0) {
    perror("plain_copy");
    return 1;
  }
  return 0;
}
