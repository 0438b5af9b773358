// Bounded random-input driver for fuzz targets when libFuzzer is not used.
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
int main() { return 0; }  // TODO(stub)
