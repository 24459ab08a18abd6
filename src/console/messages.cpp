#include "console/messages.h"

#include <cstdint>
#include <initializer_list>

#include "console/terminal_escape.h"
#include "files/file_access.h"

#ifndef SECTIFY_VERSION
#define SECTIFY_VERSION "unknown"
#endif

namespace sectify::console {
namespace {

// Returns `parts` one after the other.
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

// Returns a name or a text from a file as a message shows it.
std::string esc(std::string_view bytes) { return escaped_for_terminal(bytes); }

std::string number(std::uint64_t value) { return std::to_string(value); }

// Returns the warning that `what`, which carries its next step `step`
// wherever it is shown.
Message warning(std::string_view what, std::string_view step) {
  return {Stream::error, joined({"\nWarning: ", what, "\n", step}), ""};
}

// Returns the failure `text` on standard error, with its next step `step`
// for a window of its own.
Message failure(std::string text, std::string step) {
  return {Stream::error, std::move(text), std::move(step)};
}

// The warning that line `first` of `input` `is`, where `count` lines are
// such, with the next step `step`.
void warn_of_lines(std::vector<Message>& found, std::uint64_t count, std::uint64_t first,
                   std::string_view input, std::string_view is, std::string_view step) {
  if (count == 0) return;
  found.push_back(warning(joined({"line ", number(first), " of ", esc(input), " ", is,
                                  " (such lines: ", number(count), ")"}),
                          step));
}

// Returns what to write instead of the character reference `reference`.
std::string written_instead_of(std::string_view reference) {
  struct Plain {
    std::string_view reference, instead;
  };
  constexpr Plain kPlain[] = {{"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&#xb0;", "&#xB0;"}};
  for (const Plain& plain : kPlain) {
    if (reference == plain.reference) return std::string(plain.instead);
  }
  return "the character it stands for";
}

constexpr std::string_view kSaveAsAnsi =
    "Save the .fxml as Windows-1252 (\"ANSI\" in Notepad's Save as) and convert it again.\n";

// Why `findings`' input converts to an empty text, and what to do.
struct EmptyCause {
  std::string why, step;
};
EmptyCause cause_of_empty_output(const LayoutFindings& findings) {
  if (findings.utf16) return {"it is UTF-16 text", std::string(kSaveAsAnsi)};
  if (findings.first_section_indented_with_tabs != 0) {
    return {"its sections are indented with tabs (line " +
                number(findings.first_section_indented_with_tabs) + ")",
            "Indent its lines with blanks, four to a level, instead of tabs, and convert it "
            "again.\n"};
  }
  if (findings.input_lines == 1) {
    return {"it is all on one line",
            "Save it with each element on a line of its own, as flight programs do, and convert "
            "it again.\n"};
  }
  return {"it has no Main section at the start of a line",
          "Check that it has a <Section Name=\"Main\"> line, after its first line, indented by "
          "blanks in fours.\n"};
}

}  // namespace

std::string shown(const Message& message, bool own_window) {
  return own_window ? message.text + message.step_in_window : message.text;
}

Message usage() {
  return {Stream::output, "\nUsage: Sectify <filename.fxml>\n",
          "Drag a .fxml file onto Sectify.exe, or right-click it and choose Convert with "
          "Sectify.\n"};
}

Message help() {
#ifdef _WIN32
  constexpr std::string_view kManual = "The manual is README.txt, beside Sectify.exe.\n";
#else
  constexpr std::string_view kManual = "The manual: man Sectify\n";
#endif
  return {Stream::output,
          joined({usage().text,
                  "Writes the flight of a .fxml file as the .flt file beside it; the .fxml is "
                  "never changed.\n",
                  kManual}),
          ""};
}

Message version() { return {Stream::output, "Sectify " SECTIFY_VERSION "\n", ""}; }

Message not_fxml(std::string_view name, bool is_folder) {
  std::string step = "Give Sectify a flight whose name ends in .fxml.\n";
  std::string lower(file_access::file_name_of(name));
  for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (is_folder) {
    step = "Give Sectify the .fxml files in that folder, not the folder itself.\n";
  } else if (lower.find(".fxml") != std::string::npos) {
    step = "Rename it to end in .fxml, in small letters, and convert it again.\n";
  }
  return {Stream::output, joined({"\n", esc(name), " is not an fxml file\n"}), std::move(step)};
}

Message cannot_open() {
  return failure("\nFile could not be opened\n",
                 "Check that the file is still there and that no other program has it open.\n");
}

Message cannot_read(std::string_view reason) {
  return failure(joined({"\nFile could not be read: ", reason, "\n"}),
                 "Copy the flight to a folder on this computer and convert the copy.\n");
}

Message cannot_write(std::string_view output, std::string_view reason, std::string_view more) {
  // A reason that ends a sentence (as Windows words them) before more.
  if (!more.empty() && !reason.empty() && reason.back() == '.') reason.remove_suffix(1);
  return failure(joined({"\nFile ", esc(output), " could not be written: ", reason, more, "\n"}),
                 joined({"Close ", esc(file_access::file_name_of(output)),
                         " in any program that has it open, make room on the disk if it is "
                         "full, and try again.\n"}));
}

Message is_input(std::string_view output) {
  return failure(joined({"\nFile ", esc(output), " is the input file and was not replaced\n"}),
                 joined({"Delete or rename ", esc(file_access::file_name_of(output)),
                         ", which is the .fxml itself under another name, and try again.\n"}));
}

Message read_only(std::string_view output) {
#ifdef _WIN32
  constexpr std::string_view kMakeWritable = "Untick Read-only in the Properties of ";
#else
  constexpr std::string_view kMakeWritable = "Make writable (chmod u+w) or delete ";
#endif
  return failure(
      joined({"\nFile ", esc(output), " is read-only and was not replaced\n"}),
      joined({kMakeWritable, esc(file_access::file_name_of(output)), ", and try again.\n"}));
}

Message too_large() {
  return failure("\nFile is too large to convert\n",
                 "Check that it is a flight: no flight has a line this long.\n");
}

Message empty_output_kept(std::string_view output, std::string_view input,
                          const LayoutFindings& findings) {
  EmptyCause cause = cause_of_empty_output(findings);
  return failure(joined({"\nFile ", esc(output), " was kept as it was: ", esc(input),
                         " gives an empty output, because ", cause.why, "\n"}),
                 std::move(cause.step));
}

std::vector<Message> warnings(std::string_view output, std::string_view input, bool main_found,
                              const LayoutFindings& found) {
  std::vector<Message> shown;
  constexpr std::string_view kOutputExtension = ".flt";
  if (output.size() < kOutputExtension.size() ||
      output.substr(output.size() - kOutputExtension.size()) != kOutputExtension) {
    // The input's name up to the end of the ".fxml" that the output's
    // ".flt" replaced.
    const std::string_view name = file_access::file_name_of(input);
    const std::string_view stem = name.substr(0, name.find(".fxml") + 5);
    shown.push_back(
        warning(joined({esc(output),
                        " does not end in .flt, so flight programs will "
                        "not find it"}),
                joined({"Rename ", esc(name), " to ", esc(stem), " and convert it again.\n"})));
  }
  if (found.sections_left_out > 0) {
    shown.push_back(warning(joined({"section [", esc(found.first_section_left_out),
                                    "] before [Main] was left out (sections left out: ",
                                    number(found.sections_left_out), ")"}),
                            "Move the Main section to the top, if you need the others.\n"));
  }
  warn_of_lines(shown, found.lines_not_in_form, found.first_line_not_in_form, input,
                "is not a section or name=value line",
                "Open the flight in the program that made it and save it again, or mend the line "
                "by hand.\n");
  warn_of_lines(shown, found.lines_with_references, found.first_line_with_reference, input,
                joined({"keeps the reference ", esc(found.first_reference), " undecoded"}),
                joined({"Write ", esc(written_instead_of(found.first_reference)), " instead of ",
                        esc(found.first_reference), " in the .fxml and convert it again.\n"}));
  warn_of_lines(shown, found.lines_with_utf8, found.first_line_with_utf8, input,
                joined({"has ", esc(found.first_utf8_character),
                        " in UTF-8, which programs that read .flt files take as Windows-1252"}),
                kSaveAsAnsi);
  warn_of_lines(shown, found.lines_with_blank_runs, found.first_line_with_blank_run, input,
                "has four or more blanks in a row after its indentation, which the conversion "
                "shortens",
                "Shorten each run to three blanks or fewer in the .fxml, if the blanks matter.\n");
  if (!main_found) {
    const EmptyCause cause = cause_of_empty_output(found);
    shown.push_back(
        warning(joined({esc(input), " gives an empty output, because ", cause.why}), cause.step));
  } else if (found.utf16) {
    shown.push_back(
        warning(joined({esc(input), " is UTF-16 text, which is not converted"}), kSaveAsAnsi));
  }
  return shown;
}

Message earlier_output_left(std::string_view path) {
  return warning(joined({"the earlier output is left in ", esc(path)}),
                 "Delete it once you no longer need it.\n");
}

Message written(std::string_view output) {
  return {Stream::output, joined({"\nFile ", esc(output), " written\n"}), ""};
}

Message standard_output_lost(std::string_view reason) {
  return failure(joined({"\nStandard output could not be written: ", reason, "\n"}), "");
}

Message heading(std::string_view input) {
  return {Stream::output, joined({"\n", esc(input), ":\n"}), ""};
}

Message summary(std::size_t converted, std::size_t total,
                const std::vector<std::string>& not_converted) {
  std::string text = joined({"\nConverted ", number(converted), " of ", number(total), " files."});
  for (std::size_t i = 0; i < not_converted.size(); ++i) {
    text += joined({i == 0 ? " Not converted: " : ", ", esc(not_converted[i])});
  }
  return {Stream::output, text + "\n", ""};
}

Message key_prompt() { return {Stream::output, "\nPress any key to close this window.\n", ""}; }

}  // namespace sectify::console
