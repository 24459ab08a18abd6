// Sectify: converts one XML flight file (".fxml") into the sectioned
// plain-text flight file (".flt") beside it.

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/console.h"
#include "console/console_window.h"
#include "console/messages.h"
#include "console/terminal_escape.h"
#include "files/file_access.h"
#include "files/flight_file.h"
#include "files/interruption.h"
#include "files/replacement_file.h"
#include "output_name.h"

namespace {

// The input is read in blocks of this size, or of the file's size when it
// is smaller, so that a small file pays for no larger buffer. Timed on
// flights of 100 MB and 1 GB against 256 KiB and 1 MiB, this size was as
// fast as the best of them at each: smaller blocks cost the system more
// calls at 1 GB, larger ones leave the processor's cache at 100 MB.
constexpr std::size_t kBlockSize = std::size_t{512} << 10;
constexpr std::size_t kSmallestBlock = std::size_t{4} << 10;

using sectify::console::Message;
using sectify::file_access::ErrorCode;

// What a run carries from file to file: whether it has a window of its own,
// whether the file at hand stands under its heading there, and why a
// message to standard output was lost, if one was.
struct Run {
  bool own_window = false;
  bool under_heading = false;
  std::optional<ErrorCode> output_error;
};

// Shows `message` as `run` shows it, and notes in `run` a message to
// standard output that was lost.
void show(const Message& message, Run& run) {
  if (!sectify::console::write_message(message.stream,
                                       sectify::console::shown(message, run.own_window)) &&
      message.stream == sectify::console::Stream::output) {
    run.output_error = sectify::file_access::last_error();
  }
}

// Shows the failure `message`; returns the exit status.
int fail(const Message& message, Run& run) {
  show(message, run);
  return 1;
}

// Returns `path` as the messages of `run` name it: under a heading, which
// gave the whole path, by its file-name part alone.
std::string_view as_named(const std::string& path, const Run& run) {
  if (!run.under_heading) return path;
  return sectify::file_access::file_name_of(path);
}

// Converts the file `input`, reporting on the console, and returns the exit
// status.
int convert(const std::string& input, Run& run) {
  namespace console = sectify::console;
  const std::optional<std::string> output =
      sectify::output_name_for(input, sectify::file_access::path_separators());
  const std::string_view input_named = as_named(input, run);
  if (!output) {
    // Whether it is a folder matters only to the next step, which only a
    // window of its own shows.
    return fail(
        console::not_fxml(input_named, run.own_window && sectify::file_access::is_folder(input)),
        run);
  }
  const std::string_view output_named = as_named(*output, run);

  sectify::file_access::File folder;
  sectify::file_access::File file = sectify::file_access::open_for_reading(input, folder);
  if (!file.is_open()) return fail(console::cannot_open(), run);
  const auto cannot_read = [&run](ErrorCode error) {
    return fail(console::cannot_read(sectify::file_access::describe(error)), run);
  };
  const auto cannot_write = [&run, output_named](ErrorCode error, const std::string& more = "") {
    return fail(console::cannot_write(output_named, sectify::file_access::describe(error), more),
                run);
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
      return fail(console::is_input(output_named), run);
    case sectify::ReplacementFile::Status::read_only:
      return fail(console::read_only(output_named), run);
  }
  const auto block =
      static_cast<std::size_t>(std::clamp<std::uint64_t>(size, kSmallestBlock, kBlockSize));
  const sectify::StreamResult result = sectify::convert_file(file, replacement.file(), block);
  if (result.status == sectify::StreamStatus::cannot_read) return cannot_read(result.error);
  if (!file.close()) return cannot_read(sectify::file_access::last_error());
  if (result.status == sectify::StreamStatus::cannot_write) return cannot_write(result.error);
  // An empty output never takes the place of a flight: what the user may
  // have made of the earlier one is worth more than an empty file.
  if (!result.main_found && replacement.replaces_data()) {
    return fail(console::empty_output_kept(output_named, input_named, result.findings), run);
  }
  if (!replacement.commit()) {
    const std::string& earlier = replacement.earlier_output_left_in();
    const std::string& left = replacement.new_output_left_in();
    const auto shown = sectify::console::escaped_for_terminal;
    if (earlier.empty() && !left.empty()) {
      return cannot_write(replacement.error(), "; the new output is left in " + shown(left));
    }
    if (earlier.empty()) return cannot_write(replacement.error());
    // Neither file is at the output's name: the user needs both names.
    return cannot_write(replacement.error(), "; the earlier output is in " + shown(earlier) +
                                                 ", the new one in " + shown(left));
  }
  // The output is the new file now: the run reports it and ends with 0,
  // whatever comes, even a message that finds no memory.
  try {
    if (!replacement.earlier_output_left_in().empty()) {
      show(console::earlier_output_left(replacement.earlier_output_left_in()), run);
    }
    for (const Message& warning :
         console::warnings(output_named, input_named, result.main_found, result.findings)) {
      show(warning, run);
    }
    show(console::written(output_named), run);
  } catch (const std::bad_alloc&) {
  }
  return 0;
}

// Converts `input` as convert() does, and reports a line too large to
// convert; returns the exit status.
int convert_within_memory(const std::string& input, Run& run) {
  try {
    return convert(input, run);
  } catch (const std::bad_alloc&) {
    // Only a line too long for memory gets here; the new output file went
    // with the stack.
    return fail(sectify::console::too_large(), run);
  } catch (const std::length_error&) {
    // A line over the cap, or longer than a string can hold where memory
    // would allow more (a 32-bit program with 4 GiB of address space).
    return fail(sectify::console::too_large(), run);
  }
}

// Whether `argument` asks for help. No flight is named so: none holds
// ".fxml".
bool asks_for_help(const std::string& argument) {
#ifdef _WIN32
  if (argument == "/?") return true;
#endif
  return argument == "--help";
}

// Converts the file that `arguments` names, or answers --help or
// --version, and returns the exit status. In a window of its own, as files
// dropped on the program get, it converts each of several files in turn,
// its messages under its name, sums up which converted, and ends with 1 if
// any failed.
int convert_all(const std::vector<std::string>& arguments, Run& run) {
  namespace console = sectify::console;
  if (arguments.size() == 1 && (asks_for_help(arguments[0]) || arguments[0] == "--version")) {
    show(asks_for_help(arguments[0]) ? console::help() : console::version(), run);
    return 0;
  }
  if (arguments.size() == 1) return convert_within_memory(arguments[0], run);
  if (!run.own_window || arguments.empty()) return fail(console::usage(), run);
  run.under_heading = true;
  std::vector<std::string> not_converted;
  for (const std::string& input : arguments) {
    show(console::heading(input), run);
    if (convert_within_memory(input, run) != 0) not_converted.emplace_back(as_named(input, run));
  }
  const std::size_t converted = arguments.size() - not_converted.size();
  show(console::summary(converted, arguments.size(), not_converted), run);
  return not_converted.empty() ? 0 : 1;
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
  Run run;
  run.own_window = sectify::console::waits_for_key(sectify::console::console_facts());
  int status = convert_all(sectify::console::arguments_of(argc, argv), run);
  // A message that the user was to read and cannot is a failure of the run,
  // even after the output was written.
  if (run.output_error) {
    show(sectify::console::standard_output_lost(sectify::file_access::describe(*run.output_error)),
         run);
    status = 1;
  }
  if (run.own_window) {
    show(sectify::console::key_prompt(), run);
    sectify::console::wait_for_key();
  }
  return status;
}
