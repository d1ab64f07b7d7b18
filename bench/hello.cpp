// The smallest C++ program worth starting: the anchor of the console's start-up time.

#include <iostream>

int main() {
  std::cout << "hello, world" << std::endl;
  return 0;
}
