// The floor of start-up: a program that prints one line.
#include <cstdio>

int main() {
  std::puts("hello");
  return 0;
}
