#include "text_file.h"

#include <array>
#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>

#include "file_access.h"

namespace sectify {
namespace {

using file_access::File;

// Advances `state` and returns a well-mixed 64-bit value (splitmix64).
std::uint64_t next_random(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

// Creates a new file in the directory of `path`, under a hidden name with
// random letters that no user file is likely to have, and stores its name
// in `temp`. Returns false if it cannot be created.
bool create_temporary_beside(const std::string& path, std::string& temp, File& file) {
  const std::size_t end_of_dir = path.find_last_of(file_access::path_separators());
  const std::string dir =
      end_of_dir == std::string::npos ? std::string() : path.substr(0, end_of_dir + 1);
  std::uint64_t state =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<std::uintptr_t>(&temp);
  constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t bits = next_random(state);
    temp = dir + ".Sectify-";
    for (int i = 0; i < 10; ++i, bits /= kDigits.size()) {
      temp += kDigits[static_cast<std::size_t>(bits % kDigits.size())];
    }
    temp += ".tmp";
    switch (file_access::create_new(temp, path, file)) {
      case file_access::CreateStatus::created:
        return true;
      case file_access::CreateStatus::exists:
        continue;
      case file_access::CreateStatus::failed:
        return false;
    }
  }
  return false;
}

// Reads `file` to its end into `text`, which holds the size the file had
// when it was opened. Returns false on a read error.
bool read_to_end(const File& file, std::string& text) {
  std::size_t have = 0;
  for (;;) {
    if (have < text.size()) {
      const std::ptrdiff_t got =
          file_access::read_some(file, text.data() + have, text.size() - have);
      if (got < 0) return false;
      if (got == 0) break;
      have += static_cast<std::size_t>(got);
      continue;
    }
    // The file may hold more than its size said: it grew, or it is a pipe.
    // Probing with a small buffer keeps a file of known size in exactly its
    // own storage.
    std::array<char, 4096> more;
    const std::ptrdiff_t got = file_access::read_some(file, more.data(), more.size());
    if (got < 0) return false;
    if (got == 0) break;
    text.append(more.data(), static_cast<std::size_t>(got));
    have = text.size();
  }
  text.resize(have);
  return true;
}

}  // namespace

ReadStatus read_text_file(const std::string& path, std::string& text) {
  File file = file_access::open_for_reading(path);
  if (!file.is_open()) return ReadStatus::cannot_open;
  std::uint64_t size = 0;
  if (!file_access::size_of(file, size)) return ReadStatus::cannot_read;
  // Checked before allocating: a string holds at most max_size() bytes,
  // about 2 GiB in a 32-bit process.
  if (size > text.max_size()) return ReadStatus::too_large;
  try {
    text.reserve(static_cast<std::size_t>(size));
    file_access::prefault(text.data(), text.capacity());
    text.resize(static_cast<std::size_t>(size));
    if (!read_to_end(file, text)) return ReadStatus::cannot_read;
  } catch (const std::bad_alloc&) {
    return ReadStatus::too_large;
  } catch (const std::length_error&) {
    return ReadStatus::too_large;
  }
  if (!file.close()) return ReadStatus::cannot_read;
  text.resize(crlf_to_lf(text.data(), text.size()));
  return ReadStatus::ok;
}

bool replace_text_file(const std::string& path, std::string_view text) {
  std::string temp;
  File file;
  if (!create_temporary_beside(path, temp, file)) return false;
  std::array<char, 1 << 16> buffer;
  // Writing back to disk while the rest is still being written leaves the
  // final sync less to wait for.
  constexpr std::size_t kWritebackEvery = std::size_t{8} << 20;
  std::size_t unsynced = 0;
  bool ok = true;
  while (ok && !text.empty()) {
    const std::size_t n = lf_to_crlf(text, buffer.data(), buffer.size());
    ok = file_access::write_all(file, buffer.data(), n);
    unsynced += n;
    if (unsynced >= kWritebackEvery) {
      file_access::start_writeback(file);
      unsynced = 0;
    }
  }
  ok = ok && file_access::sync(file);
  ok = file.close() && ok;
  ok = ok && file_access::rename_over(temp, path);
  // On failure the new file goes; if even that fails there is nothing
  // more to report than the failure itself.
  if (!ok) file_access::remove_file(temp);
  return ok;
}

std::size_t crlf_to_lf(char* s, std::size_t n) {
  const void* cr = std::memchr(s, '\r', n);
  if (cr == nullptr) return n;
  std::size_t w = static_cast<std::size_t>(static_cast<const char*>(cr) - s);
  std::size_t r = w;
  while (r < n) {
    // s[r] is a CR: it goes if a LF follows.
    if (r + 1 < n && s[r + 1] == '\n') ++r;
    const void* next = std::memchr(s + r + 1, '\r', n - r - 1);
    const std::size_t end =
        next == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(next) - s);
    std::memmove(s + w, s + r, end - r);
    w += end - r;
    r = end;
  }
  return w;
}

std::size_t lf_to_crlf(std::string_view& text, char* out, std::size_t capacity) {
  std::size_t w = 0;
  while (!text.empty() && w < capacity) {
    const std::string_view window = text.substr(0, capacity - w);
    const std::size_t lf = window.find('\n');
    const std::size_t plain = lf == std::string_view::npos ? window.size() : lf;
    std::memcpy(out + w, window.data(), plain);
    w += plain;
    text.remove_prefix(plain);
    if (lf == std::string_view::npos) continue;
    if (capacity - w < 2) break;
    out[w++] = '\r';
    out[w++] = '\n';
    text.remove_prefix(1);
  }
  return w;
}

}  // namespace sectify
