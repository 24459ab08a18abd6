// Sectify: converts one XML flight file (".fxml") into the sectioned
// plain-text flight file (".flt") beside it.

#include <cstdio>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "file_access.h"
#include "flight_text.h"
#include "output_name.h"
#include "text_file.h"

namespace {

constexpr std::string_view kTooLarge = "\nFile is too large to convert\n";

// Writes `parts` to `stream` one after the other.
void print(std::FILE* stream, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) {
    std::fwrite(part.data(), 1, part.size(), stream);
  }
}

// Flushes standard output; reports on standard error and returns false if
// anything written to it was lost.
bool flush_stdout() {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  print(stderr, {"\nStandard output could not be written\n"});
  return false;
}

// Converts the file that the command line names, reporting on the console;
// returns the exit status.
int run(int argc, char** argv) {
  if (argc != 2) {
    print(stdout, {"\nUsage: Sectify <filename.fxml>\n"});
    return 1;
  }
  const std::string input = argv[1];
  const std::optional<std::string> output =
      sectify::output_name_for(input, sectify::file_access::path_separators());
  if (!output) {
    print(stdout, {"\n", input, " is not an fxml file\n"});
    return 1;
  }

  std::string text;
  switch (sectify::read_text_file(input, text)) {
    case sectify::ReadStatus::ok:
      break;
    case sectify::ReadStatus::cannot_open:
      print(stderr, {"\nFile could not be opened\n"});
      return 1;
    case sectify::ReadStatus::cannot_read:
      print(stderr, {"\nFile could not be read\n"});
      return 1;
    case sectify::ReadStatus::too_large:
      print(stderr, {kTooLarge});
      return 1;
  }

  sectify::convert_flight_text(text);
  if (text.empty()) {
    print(stderr, {"\nWarning: no Main section found, the output is empty\n"});
  }
  if (!sectify::replace_text_file(*output, text)) {
    print(stderr, {"\nFile ", *output, " could not be written\n"});
    return 1;
  }
  print(stdout, {"\nFile ", *output, " written\n"});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    // The flight text is the only large allocation; an output file is
    // never left behind, since writing it allocates nothing.
    print(stderr, {kTooLarge});
    status = 1;
  }
  return flush_stdout() ? status : 1;
}
