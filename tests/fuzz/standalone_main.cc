// The driver that stands in for libFuzzer in ordinary builds.
//
//   fuzz_<target> [-runs=N] [-seed=S] [-dict=FILE] [-max_len=N] [-timeout=SEC]
//                 PATH...
//
// Each PATH is a seed file or a folder of seed files. Every seed is run once,
// in name order, then N mutated inputs (2000 by default) made from them with
// a generator seeded by S, so a run is the same every time. A crash, a broken
// invariant or an input that runs longer than the timeout leaves that input
// in ./fuzz-failure-<target>.bin and ends the run with the signal, so the
// failure can be replayed with `fuzz_<target> fuzz-failure-<target>.bin`
// (or with the libFuzzer build).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fuzz/mutator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The input being run, for the signal handler; a copy it can read at any
// moment without allocating.
std::vector<char> g_current;
size_t g_current_size = 0;
char g_failure_path[256] = "fuzz-failure.bin";

void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

void OnFatalSignal(int signal_number) {
  int fd = open(g_failure_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) {
    WriteAll(fd, g_current.data(), g_current_size);
    close(fd);
  }
  const char* what = signal_number == SIGALRM ? "\ninput ran past the timeout; written to "
                                              : "\nfailing input written to ";
  WriteAll(2, what, std::strlen(what));
  WriteAll(2, g_failure_path, std::strlen(g_failure_path));
  WriteAll(2, "\n", 1);
  signal(signal_number == SIGALRM ? SIGABRT : signal_number, SIG_DFL);
  raise(signal_number == SIGALRM ? SIGABRT : signal_number);
}

void Run(const std::string& input, unsigned timeout_seconds) {
  if (g_current.size() < input.size()) g_current.resize(input.size());
  std::memcpy(g_current.data(), input.data(), input.size());
  g_current_size = input.size();
  alarm(timeout_seconds);
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  alarm(0);
}

bool ReadFile(const std::filesystem::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *out = text.str();
  return true;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

int main(int argc, char** argv) {
  long runs = 2000;
  unsigned long seed = 1;
  size_t max_length = 4096;
  unsigned timeout = 60;
  std::vector<std::string> dictionary;
  std::vector<std::filesystem::path> seed_files;

  std::string name = std::filesystem::path(argv[0]).filename().string();
  std::snprintf(g_failure_path, sizeof g_failure_path, "fuzz-failure-%s.bin", name.c_str());

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (StartsWith(arg, "-runs=")) {
      runs = std::strtol(arg.c_str() + 6, nullptr, 10);
    } else if (StartsWith(arg, "-seed=")) {
      seed = std::strtoul(arg.c_str() + 6, nullptr, 10);
    } else if (StartsWith(arg, "-max_len=")) {
      max_length = std::strtoul(arg.c_str() + 9, nullptr, 10);
    } else if (StartsWith(arg, "-timeout=")) {
      timeout = static_cast<unsigned>(std::strtoul(arg.c_str() + 9, nullptr, 10));
    } else if (StartsWith(arg, "-dict=")) {
      std::string text;
      if (!ReadFile(arg.substr(6), &text)) {
        std::fprintf(stderr, "%s: cannot read dictionary %s\n", name.c_str(), arg.c_str() + 6);
        return 2;
      }
      int bad_line = 0;
      dictionary = vorsandt::fuzz::ParseDictionary(text, &bad_line);
      if (bad_line != 0) {
        std::fprintf(stderr, "%s: dictionary %s: line %d is malformed\n", name.c_str(),
                     arg.c_str() + 6, bad_line);
        return 2;
      }
    } else if (StartsWith(arg, "-")) {
      std::fprintf(stderr, "%s: unknown option %s\n", name.c_str(), arg.c_str());
      return 2;
    } else if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) seed_files.push_back(entry.path());
      }
    } else {
      seed_files.emplace_back(arg);
    }
  }
  std::sort(seed_files.begin(), seed_files.end());

  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGALRM}) signal(s, OnFatalSignal);

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> seeds;
  for (const auto& path : seed_files) {
    std::string data;
    if (!ReadFile(path, &data)) {
      std::fprintf(stderr, "%s: cannot read %s\n", name.c_str(), path.c_str());
      return 2;
    }
    Run(data, timeout);
    seeds.push_back(std::move(data));
  }
  if (seeds.empty()) seeds.emplace_back();

  vorsandt::fuzz::Mutator mutator(static_cast<uint32_t>(seed), dictionary, max_length);
  std::string chained;
  for (long i = 0; i < runs; ++i) {
    const auto count = static_cast<uint32_t>(seeds.size());
    // Mostly fresh mutations of a seed; now and then a mutation of the last
    // mutant, so that edits pile up.
    const std::string& base = (i % 4 == 3) ? chained : seeds[mutator.Below(count)];
    chained = mutator.Mutate(base, seeds[mutator.Below(count)]);
    Run(chained, timeout);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %zu seeds and %ld mutated inputs in %.2f s, no failure\n", name.c_str(),
              seed_files.size(), runs, seconds);
  return 0;
}
