// The byte-at-a-time version the tool is measured against: one getchar per
// input byte and one putchar per kept byte, the six steps written out.
// Built only for the benchmark.
#include <cstdio>

int main() {
  for (;;) {
    int c = 0;
    if ((c = getchar()) == EOF)
      return 0;
    putchar(c);
    if ((c = getchar()) == EOF)
      return 0;
    putchar(c);
    if ((c = getchar()) == EOF)
      return 0;
    putchar(c);
    if ((c = getchar()) == EOF)
      return 0;
    putchar(c);
    if (getchar() == EOF)
      return 0;
    if (getchar() == EOF)
      return 0;
  }
}
