#include <cstdio>

int main() {
  std::puts("Tarvo's Calculator 3.4.0.0 Linux (KRX) Kommandozeilenversion");
  return 0;
}
