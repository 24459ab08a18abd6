#include "replacement_file.h"

#include <chrono>
#include <cstdint>
#include <string_view>
#include <utility>

namespace sectify {
namespace {

// Advances `state` and returns a well-mixed 64-bit value (splitmix64).
std::uint64_t next_random(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

bool ReplacementFile::create(const std::string& path) {
  const std::size_t end_of_dir = path.find_last_of(file_access::path_separators());
  const std::string dir =
      end_of_dir == std::string::npos ? std::string() : path.substr(0, end_of_dir + 1);
  std::uint64_t state =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<std::uintptr_t>(this);
  constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t bits = next_random(state);
    std::string temp = dir + ".Sectify-";
    for (int i = 0; i < 10; ++i, bits /= kDigits.size()) {
      temp += kDigits[static_cast<std::size_t>(bits % kDigits.size())];
    }
    temp += ".tmp";
    switch (file_access::create_new(temp, path, file_)) {
      case file_access::CreateStatus::created:
        path_ = path;
        temp_ = std::move(temp);
        return true;
      case file_access::CreateStatus::exists:
        continue;
      case file_access::CreateStatus::failed:
        return false;
    }
  }
  return false;
}

bool ReplacementFile::commit() {
  bool ok = file_access::sync(file_);
  ok = file_.close() && ok;
  ok = ok && file_access::rename_over(temp_, path_);
  if (ok) temp_.clear();
  discard();
  return ok;
}

void ReplacementFile::discard() {
  // If even the removal fails there is nothing more to report than the
  // failure that led here.
  static_cast<void>(file_.close());
  if (!temp_.empty()) file_access::remove_file(temp_);
  temp_.clear();
}

}  // namespace sectify
