// A plain driver for the fuzz targets where libFuzzer cannot run (cross builds
// under an emulator): runs the target once on every file named and on every
// file in every folder named. A failed check aborts, as under libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size);

namespace {

void replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t inputs = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
        if (!entry.is_regular_file()) continue;
        replay(entry.path());
        ++inputs;
      }
    } else {
      replay(argv[i]);
      ++inputs;
    }
  }
  std::printf("replayed %zu inputs\n", inputs);
  // Nothing to replay means a wrong path, not a pass.
  return inputs > 0 ? 0 : 1;
}
