// Stand-in for libFuzzer when the compiler has none: feeds every file of the
// given folders (and a few cheap mutations of each: every prefix length step,
// bit flips) to the fuzz entry point, so the target still runs in CI.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int a = 1; a < argc; ++a) {
    std::filesystem::path root(argv[a]);
    if (!std::filesystem::exists(root)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      const std::size_t step = bytes.size() / 64 + 1;
      for (std::size_t n = 0; n < bytes.size(); n += step) LLVMFuzzerTestOneInput(bytes.data(), n);
      std::vector<uint8_t> flipped = bytes;
      for (std::size_t i = 0; i < flipped.size(); i += 7) {
        flipped[i] = static_cast<uint8_t>(flipped[i] ^ (1u << (i % 8)));
        LLVMFuzzerTestOneInput(flipped.data(), flipped.size());
      }
      inputs += 1;
    }
  }
  std::printf("replayed %zu corpus inputs\n", inputs);
  return 0;
}
