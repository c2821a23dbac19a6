#include <cstdio>
int main() {
  fprintf(stderr, "rqsim: not built yet\n");
  return 1;
}
