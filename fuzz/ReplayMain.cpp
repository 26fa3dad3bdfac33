// Runs a fuzz target over the files it is given (folders are walked), as the normal tests do with
// each target's seed corpus and the findings kept under fuzz/regressions/: a finding that comes
// back crashes or fails the run. A folder that does not exist holds nothing yet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputsUnder(const std::filesystem::path& where) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (std::filesystem::is_regular_file(where, ec)) {
    files.push_back(where);
  } else if (std::filesystem::is_directory(where, ec)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(where, ec)) {
      if (entry.is_regular_file(ec)) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const std::filesystem::path& file : inputsUnder(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
      }
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
      // A copy of exactly the file's size, so that a read past the end shows under ASan.
      std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
      std::uint8_t* data = input.empty() ? nullptr : input.data();
      LLVMFuzzerTestOneInput(data, input.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed without a finding\n", replayed);
  return 0;
}
