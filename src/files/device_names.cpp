#include "files/device_names.h"

#include <algorithm>
#include <string>

namespace sectify {
namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Returns `text` in capitals, ASCII letters only.
std::string upper_case(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// Returns the part of `path` up to its first separator, and drops it and
// that separator from `path`.
std::string_view take_part(std::string_view& path) {
  std::size_t end = 0;
  while (end < path.size() && !is_separator(path[end])) ++end;
  const std::string_view part = path.substr(0, end);
  path.remove_prefix(std::min(end + 1, path.size()));
  return part;
}

// Returns whether `name`, one part of a path, is a device name.
bool is_device_name(std::string_view name) {
  // Windows ignores an extension and the blanks before it.
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const std::string upper = upper_case(name);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  if (upper.rfind("COM", 0) != 0 && upper.rfind("LPT", 0) != 0) return false;
  const std::string_view number = std::string_view(upper).substr(3);
  // The digits, and the superscripts one, two and three in UTF-8.
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Returns whether `path` begins with "\\server\share\" and a name in the
// share, where the server is a name of its own and the share neither
// "pipe" nor "mailslot".
bool names_file_on_share(std::string_view path) {
  const std::string_view server = take_part(path);
  const std::string share = upper_case(take_part(path));
  return !server.empty() && server != "." && server != "?" && !share.empty() && share != "PIPE" &&
         share != "MAILSLOT" && !path.empty();
}

// Returns whether `path` begins with a drive letter, a colon, a separator
// and a name.
bool names_file_on_drive(std::string_view path) {
  return path.size() > 3 &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && is_separator(path[2]);
}

// Returns whether a part of `path` is "." or "..", which the system does
// not resolve in a path behind "\\?\".
bool holds_dot_parts(std::string_view path) {
  while (!path.empty()) {
    const std::string_view part = take_part(path);
    if (part == "." || part == "..") return true;
  }
  return false;
}

}  // namespace

bool opens_as_file(std::string_view typed, std::string_view full) {
  if (typed.size() >= 4 && is_separator(typed[0]) && typed[1] == '?' && typed[2] == '?' &&
      is_separator(typed[3])) {
    return false;
  }
  if (names_file_on_drive(full)) return true;
  if (full.size() < 2 || !is_separator(full[0]) || !is_separator(full[1])) return false;
  full.remove_prefix(2);
  if (full.size() < 2 || !is_separator(full[1]) || (full[0] != '.' && full[0] != '?')) {
    return names_file_on_share(full);
  }
  if (full[0] == '.') return false;
  full.remove_prefix(2);
  if (holds_dot_parts(full)) return false;
  if (names_file_on_drive(full)) return true;
  return upper_case(full.substr(0, 4)) == "UNC\\" && names_file_on_share(full.substr(4));
}

bool names_windows_device(std::string_view path) {
  constexpr std::string_view kSeparators = "/\\:";
  for (std::size_t begin = 0; begin <= path.size();) {
    const std::size_t end = std::min(path.find_first_of(kSeparators, begin), path.size());
    if (is_device_name(path.substr(begin, end - begin))) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace sectify
