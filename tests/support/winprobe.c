/* winprobe.exe: the smallest Windows program. scripts/wine-arch.sh starts it to learn
   whether a Wine of this bitness can run programs on this host at all. */
#include <stdio.h>

int main(void) {
  printf("winprobe %d-bit ok\n", (int)(sizeof(void*) * 8));
  return 0;
}
