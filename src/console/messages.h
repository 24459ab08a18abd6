// Every text the user reads: the messages of a run, each with the next step
// that says what to do about it, the usage, the help and the version. Names
// are given as the user typed them (or, under a file's heading in a window
// of its own, by their file-name part) and shown escaped for the terminal.

#ifndef SECTIFY_CONSOLE_MESSAGES_H_
#define SECTIFY_CONSOLE_MESSAGES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "conversion/layout_findings.h"

namespace sectify::console {

// A message and where it goes. A warning's next step is part of its text,
// wherever it is shown; a failure's (and the usage's) is shown only in a
// window of its own, so that a console keeps the words that scripts read.
struct Message {
  Stream stream;
  std::string text;            // one or more lines, beginning with "\n"
  std::string step_in_window;  // one sentence and its line end, or ""
};

// Returns `message` as a run shows it: in a window of its own
// (`own_window`) with its next step after it.
std::string shown(const Message& message, bool own_window);

// The usage line, and in a window of its own how to give a file without a
// console.
Message usage();

// The answer to --help: the usage, what the program does and where its
// manual is.
Message help();

// The answer to --version.
Message version();

// `name`, which is no .fxml file: a folder (`is_folder`), a name whose
// extension is .fxml in other letters, or any other.
Message not_fxml(std::string_view name, bool is_folder);

// The failures of a run, as their names say, each with its next step;
// `reason` is the system's.
Message cannot_open();
Message cannot_read(std::string_view reason);

// The output `output` could not be written for `reason`; `more` tells
// where files were left, if anywhere else than where they were.
Message cannot_write(std::string_view output, std::string_view reason, std::string_view more = "");

Message is_input(std::string_view output);
Message read_only(std::string_view output);
Message too_large();

// The earlier output `output` (with at least one byte) is kept as it was,
// since `input` converts to an empty text, for the reason `findings` tell.
Message empty_output_kept(std::string_view output, std::string_view input,
                          const LayoutFindings& findings);

// The warnings about a written output `output` of `input`: that its name
// does not end in ".flt", and where the input departs from the expected
// layout, including an empty output (no `main_found`).
std::vector<Message> warnings(std::string_view output, std::string_view input, bool main_found,
                              const LayoutFindings& findings);

// The earlier output, left at `path` where it should have gone.
Message earlier_output_left(std::string_view path);

// The success line for the output `output`.
Message written(std::string_view output);

// A message that standard output lost for `reason`.
Message standard_output_lost(std::string_view reason);

// The heading of `input`'s messages in a window of its own that converts
// several files, and the sum of such a run: `converted` of `total`, and
// the file names of those `not_converted`.
Message heading(std::string_view input);
Message summary(std::size_t converted, std::size_t total,
                const std::vector<std::string>& not_converted);

// The question that ends a run in a window of its own.
Message key_prompt();

}  // namespace sectify::console

#endif  // SECTIFY_CONSOLE_MESSAGES_H_
