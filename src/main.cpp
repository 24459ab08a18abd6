// Sectify: converts one XML flight file (".fxml") into the sectioned
// plain-text flight file (".flt") beside it.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "file_access.h"
#include "flight_file.h"
#include "output_name.h"
#include "replacement_file.h"

namespace {

constexpr std::string_view kCannotRead = "\nFile could not be read\n";
constexpr std::string_view kTooLarge = "\nFile is too large to convert\n";

// The input is read in blocks of this size, or of the file's size when it
// is smaller, so that a small file pays for no larger buffer.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr std::size_t kSmallestBlock = std::size_t{4} << 10;

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

// Prints on standard error a warning for each kind of departure from the
// expected layout that `result` holds, naming the first instance, in a
// fixed order, and the warning for an empty output.
void warn_of_layout(const sectify::StreamResult& result, std::string_view argument,
                    std::string_view output) {
  const sectify::LayoutFindings& found = result.findings;
  if (found.sections_left_out > 0) {
    print(stderr, {"\nWarning: section [", found.first_section_left_out,
                   "] before [Main] was left out (sections left out: ",
                   std::to_string(found.sections_left_out), ")\n"});
  }
  if (found.lines_not_in_form > 0) {
    print(stderr, {"\nWarning: line ", std::to_string(found.first_line_not_in_form), " of ", output,
                   " is not a section or name=value line (such lines: ",
                   std::to_string(found.lines_not_in_form), ")\n"});
  }
  if (found.lines_with_references > 0) {
    print(stderr, {"\nWarning: line ", std::to_string(found.first_line_with_reference), " of ",
                   output, " keeps the reference ", found.first_reference,
                   " undecoded (such lines: ", std::to_string(found.lines_with_references), ")\n"});
  }
  if (found.utf16) {
    print(stderr, {"\nWarning: ", argument, " is UTF-16 text, which is not converted\n"});
  }
  if (!result.main_found) {
    print(stderr, {"\nWarning: no Main section found, the output is empty\n"});
  }
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

  sectify::file_access::File file = sectify::file_access::open_for_reading(input);
  if (!file.is_open()) {
    print(stderr, {"\nFile could not be opened\n"});
    return 1;
  }
  std::uint64_t size = 0;
  if (!sectify::file_access::size_of(file, size)) {
    print(stderr, {kCannotRead});
    return 1;
  }
  const auto cannot_write = [&] {
    print(stderr, {"\nFile ", *output, " could not be written\n"});
    return 1;
  };
  sectify::ReplacementFile replacement;
  switch (replacement.create(*output, file)) {
    case sectify::ReplacementFile::Status::created:
      break;
    case sectify::ReplacementFile::Status::failed:
      return cannot_write();
    case sectify::ReplacementFile::Status::is_input:
      print(stderr, {"\nFile ", *output, " is the input file and was not replaced\n"});
      return 1;
    case sectify::ReplacementFile::Status::read_only:
      print(stderr, {"\nFile ", *output, " is read-only and was not replaced\n"});
      return 1;
  }
  const auto block =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(size, kSmallestBlock, kBlockSize));
  const sectify::StreamResult result = sectify::convert_file(file, replacement.file(), block);
  if (result.status == sectify::StreamStatus::cannot_read || !file.close()) {
    print(stderr, {kCannotRead});
    return 1;
  }
  if (result.status == sectify::StreamStatus::cannot_write || !replacement.commit()) {
    return cannot_write();
  }
  warn_of_layout(result, input, *output);
  print(stdout, {"\nFile ", *output, " written\n"});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  sectify::prepare_for_interruption();
  int status;
  try {
    status = run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Only a line too long for memory gets here; the new output file went
    // with the stack.
    print(stderr, {kTooLarge});
    status = 1;
  }
  return flush_stdout() ? status : 1;
}
