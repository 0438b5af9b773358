#include <cstdio>

int main() { std::puts("korvalent-cli: not built yet"); return 0; }  // TODO(stub)
