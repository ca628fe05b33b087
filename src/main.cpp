// Entry of the qel program. The window arrives with the desktop layer; until
// then the program only confirms that the core links and exits cleanly.
#include <cstdio>

int main() {
  std::puts("Qel: the window comes with the desktop layer; the core is built.");
  return 0;
}
