// Writes the QVF seed corpus: make_qvf_seeds FOLDER.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/fuzz/qvf_seed_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_qvf_seeds FOLDER\n");
    return 2;
  }
  const auto seeds = vorsandt::fuzz::MakeQvfSeeds();
  for (const auto& [name, image] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << image;
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), image.size());
  }
  return seeds.size() == 5 ? 0 : 1;
}
