// Sectify: converts one XML flight file (".fxml") into the sectioned
// plain-text flight file (".flt") beside it.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console_window.h"
#include "files/file_access.h"
#include "files/flight_file.h"
#include "files/interruption.h"
#include "files/replacement_file.h"
#include "output_name.h"
#include "shown_text.h"

namespace {

// The input is read in blocks of this size, or of the file's size when it
// is smaller, so that a small file pays for no larger buffer. Timed on
// flights of 100 MB and 1 GB against 256 KiB and 1 MiB, this size was as
// fast as the best of them at each: smaller blocks cost the system more
// calls at 1 GB, larger ones leave the processor's cache at 100 MB.
constexpr std::size_t kBlockSize = std::size_t{512} << 10;
constexpr std::size_t kSmallestBlock = std::size_t{4} << 10;

using sectify::file_access::ErrorCode;
using sectify::file_access::Stream;

// Writes `parts` to `stream` one after the other, as one message. Returns
// false if the message was lost.
bool print(Stream stream, std::initializer_list<std::string_view> parts) {
  std::string message;
  for (std::string_view part : parts) message += part;
  return sectify::file_access::write_message(stream, message);
}

// Prints on standard error, as one line with its empty line before, `what`
// failed, the system's reason, `error`, and `more`.
void report_failure(std::string_view what, ErrorCode error, std::string_view more = "") {
  std::string reason = sectify::file_access::describe(error);
  // A reason that ends a sentence (as Windows words them) before more.
  if (!more.empty() && !reason.empty() && reason.back() == '.') reason.pop_back();
  print(Stream::error, {"\n", what, ": ", reason, more, "\n"});
}

// Prints on standard error, where `count` lines are such, the warning that
// line `first` of `input` (as shown) `is`.
void warn_of_lines(std::uint64_t count, std::uint64_t first, std::string_view input,
                   std::string_view is) {
  if (count == 0) return;
  print(Stream::error, {"\nWarning: line ", std::to_string(first), " of ", input, " ", is,
                        " (such lines: ", std::to_string(count), ")\n"});
}

// Prints on standard error a warning for each kind of departure from the
// expected layout that `result` holds, naming the first instance by its
// line of `input` (as shown), in a fixed order, and the warning for an
// empty output.
void warn_of_layout(const sectify::StreamResult& result, std::string_view input) {
  const sectify::LayoutFindings& found = result.findings;
  if (found.sections_left_out > 0) {
    print(Stream::error, {"\nWarning: section [", sectify::shown_text(found.first_section_left_out),
                          "] before [Main] was left out (sections left out: ",
                          std::to_string(found.sections_left_out), ")\n"});
  }
  warn_of_lines(found.lines_not_in_form, found.first_line_not_in_form, input,
                "is not a section or name=value line");
  warn_of_lines(found.lines_with_references, found.first_line_with_reference, input,
                "keeps the reference " + sectify::shown_text(found.first_reference) + " undecoded");
  warn_of_lines(found.lines_with_utf8, found.first_line_with_utf8, input,
                "has " + sectify::shown_text(found.first_utf8_character) +
                    " in UTF-8, which programs that read .flt files take as Windows-1252");
  warn_of_lines(found.lines_with_blank_runs, found.first_line_with_blank_run, input,
                "has four or more blanks in a row after its indentation, which the conversion "
                "shortens");
  if (found.utf16) {
    print(Stream::error, {"\nWarning: ", input, " is UTF-16 text, which is not converted\n"});
  }
  if (!result.main_found) {
    print(Stream::error, {"\nWarning: no Main section found, the output is empty\n"});
  }
}

// Prints that the file is too large to convert; returns the exit status.
int report_too_large() {
  print(Stream::error, {"\nFile is too large to convert\n"});
  return 1;
}

// Prints the message parts `parts` on standard output; sets `output_error`
// if they were lost.
void tell(std::initializer_list<std::string_view> parts, std::optional<ErrorCode>& output_error) {
  if (!print(Stream::output, parts)) output_error = sectify::file_access::last_error();
}

// Converts the file `input`, reporting on the console, and returns the exit
// status. Sets `output_error` if a message to standard output was lost.
int convert(const std::string& input, std::optional<ErrorCode>& output_error) {
  const auto tell = [&output_error](std::initializer_list<std::string_view> parts) {
    ::tell(parts, output_error);
  };
  const std::optional<std::string> output =
      sectify::output_name_for(input, sectify::file_access::path_separators());
  // The names as messages show them: no byte of a name reaches the
  // terminal as a command.
  const std::string shown_input = sectify::shown_text(input);
  if (!output) {
    tell({"\n", shown_input, " is not an fxml file\n"});
    return 1;
  }
  const std::string shown_output = sectify::shown_text(*output);

  sectify::file_access::File folder;
  sectify::file_access::File file = sectify::file_access::open_for_reading(input, folder);
  if (!file.is_open()) {
    print(Stream::error, {"\nFile could not be opened\n"});
    return 1;
  }
  const auto cannot_read = [](ErrorCode error) {
    report_failure("File could not be read", error);
    return 1;
  };
  const auto cannot_write = [&shown_output](ErrorCode error, std::string_view more = "") {
    report_failure("File " + shown_output + " could not be written", error, more);
    return 1;
  };
  std::uint64_t size = 0;
  if (!sectify::file_access::size_of(file, size)) {
    return cannot_read(sectify::file_access::last_error());
  }
  sectify::ReplacementFile replacement;
  switch (replacement.create(*output, std::move(folder), file)) {
    case sectify::ReplacementFile::Status::created:
      break;
    case sectify::ReplacementFile::Status::failed:
      return cannot_write(replacement.error());
    case sectify::ReplacementFile::Status::is_input:
      print(Stream::error, {"\nFile ", shown_output, " is the input file and was not replaced\n"});
      return 1;
    case sectify::ReplacementFile::Status::read_only:
      print(Stream::error, {"\nFile ", shown_output, " is read-only and was not replaced\n"});
      return 1;
  }
  const auto block =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(size, kSmallestBlock, kBlockSize));
  const sectify::StreamResult result = sectify::convert_file(file, replacement.file(), block);
  if (result.status == sectify::StreamStatus::cannot_read) return cannot_read(result.error);
  if (!file.close()) return cannot_read(sectify::file_access::last_error());
  if (result.status == sectify::StreamStatus::cannot_write) return cannot_write(result.error);
  if (!replacement.commit()) {
    const std::string& earlier = replacement.earlier_output_left_in();
    const std::string& left = replacement.new_output_left_in();
    if (earlier.empty() && !left.empty()) {
      return cannot_write(replacement.error(),
                          "; the new output is left in " + sectify::shown_text(left));
    }
    if (earlier.empty()) return cannot_write(replacement.error());
    // Neither file is at the output's name: the user needs both names.
    return cannot_write(replacement.error(), "; the earlier output is in " +
                                                 sectify::shown_text(earlier) +
                                                 ", the new one in " + sectify::shown_text(left));
  }
  // The output is the new file now: the run reports it and ends with 0,
  // whatever comes, even a message that finds no memory.
  try {
    if (!replacement.earlier_output_left_in().empty()) {
      print(Stream::error, {"\nWarning: the earlier output is left in ",
                            sectify::shown_text(replacement.earlier_output_left_in()), "\n"});
    }
    warn_of_layout(result, shown_input);
    tell({"\nFile ", shown_output, " written\n"});
  } catch (const std::bad_alloc&) {
  }
  return 0;
}

// Converts `input` as convert() does, and reports a line too large to
// convert; returns the exit status.
int convert_within_memory(const std::string& input, std::optional<ErrorCode>& output_error) {
  try {
    return convert(input, output_error);
  } catch (const std::bad_alloc&) {
    // Only a line too long for memory gets here; the new output file went
    // with the stack.
    return report_too_large();
  } catch (const std::length_error&) {
    // A line over the cap, or longer than a string can hold where memory
    // would allow more (a 32-bit program with 4 GiB of address space).
    return report_too_large();
  }
}

// Converts the file that `arguments` names and returns the exit status. In
// a window of its own (`own_window`), as files dropped on the program get,
// it converts each of several files in turn, its messages under its name,
// sums up which converted, and ends with 1 if any failed; and a run without
// a file says how to give it one without a console.
int run(const std::vector<std::string>& arguments, bool own_window,
        std::optional<ErrorCode>& output_error) {
  if (arguments.size() == 1) return convert_within_memory(arguments[0], output_error);
  if (!own_window || arguments.empty()) {
    tell({"\nUsage: Sectify <filename.fxml>\n"}, output_error);
    if (own_window) {
      tell({"Drag a .fxml file onto Sectify.exe, or right-click it and choose Convert with "
            "Sectify.\n"},
           output_error);
    }
    return 1;
  }
  std::size_t converted = 0;
  std::string not_converted;
  for (const std::string& input : arguments) {
    tell({"\n", sectify::shown_text(input), ":\n"}, output_error);
    if (convert_within_memory(input, output_error) == 0) {
      ++converted;
      continue;
    }
    // By its file-name part alone: the window is narrow, and the messages
    // above give the whole path.
    const std::string_view name =
        std::string_view(input).substr(sectify::file_access::folder_of(input).size());
    not_converted +=
        (not_converted.empty() ? " Not converted: " : ", ") + sectify::shown_text(name);
  }
  tell({"\nConverted ", std::to_string(converted), " of ", std::to_string(arguments.size()),
        " files.", not_converted, "\n"},
       output_error);
  return converted == arguments.size() ? 0 : 1;
}

}  // namespace

// The entry point: wmain on Windows, which gets the arguments as UTF-16.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
  if (!sectify::file_access::hold_standard_streams()) return 1;
  sectify::prepare_for_interruption();
  const bool own_window = sectify::waits_for_key(sectify::file_access::console_facts());
  std::optional<ErrorCode> output_error;
  int status = run(sectify::file_access::arguments_of(argc, argv), own_window, output_error);
  // A message that the user was to read and cannot is a failure of the run,
  // even after the output was written.
  if (output_error) {
    report_failure("Standard output could not be written", *output_error);
    status = 1;
  }
  if (own_window) {
    print(Stream::output, {"\nPress any key to close this window.\n"});
    sectify::file_access::wait_for_key();
  }
  return status;
}
