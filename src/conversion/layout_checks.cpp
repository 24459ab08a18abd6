#include "conversion/internal/layout_checks.h"

#include "conversion/internal/rewrite_rules.h"
#include "conversion/utf8.h"

namespace sectify::internal {
namespace {

// The most bytes of a name or reference that a finding quotes.
constexpr std::size_t kQuotedBytes = 256;

// Returns `text` as a finding quotes it: whole, or, where it is longer
// than kQuotedBytes, cut there (at the start of a UTF-8 sequence) with
// "..." after it, so that no warning of a long line costs more than a few
// hundred bytes.
std::string quoted(std::string_view text) {
  if (text.size() <= kQuotedBytes) return std::string(text);
  std::size_t end = kQuotedBytes;
  for (int back = 0; back < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back) {
    --end;
  }
  return std::string(text.substr(0, end)) + "...";
}

bool is_reference_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#';
}

}  // namespace

bool in_plain_form(std::string_view line) {
  if (line.empty()) return true;
  if (line.find('<') != std::string_view::npos) return false;
  if (line.front() == '[' && line.back() == ']') return true;
  return line.find('=') != std::string_view::npos && line.front() != ' ' && line.front() != '\t';
}

std::string_view first_reference(std::string_view line) {
  for (std::size_t at = line.find('&'); at != std::string_view::npos; at = line.find('&', at + 1)) {
    std::size_t end = at + 1;
    while (end < line.size() && is_reference_byte(line[end])) ++end;
    if (end > at + 1 && end < line.size() && line[end] == ';') return line.substr(at, end + 1 - at);
  }
  return {};
}

std::string_view first_utf8_character(std::string_view line) {
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t size = utf8_sequence_at(line, at);
    if (size > 1) return line.substr(at, size);
    at += size == 0 ? 1 : size;
  }
  return {};
}

std::optional<std::string_view> section_header_name(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  line.remove_prefix(start);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return line.substr(1, line.size() - 2);
}

bool is_utf16_byte_order_mark(std::string_view first_bytes) {
  return first_bytes == "\xFF\xFE" || first_bytes == "\xFE\xFF";
}

bool cuts_blank_run(std::string_view line) {
  const std::size_t indentation = line.find_first_not_of(' ');
  return indentation != std::string_view::npos &&
         line.find(rule(1).pattern, indentation) != std::string_view::npos;
}

void check_blank_run(std::uint64_t number, LayoutFindings& findings) {
  if (findings.lines_with_blank_runs++ == 0) findings.first_line_with_blank_run = number;
}

void check_output_line(std::string_view line, std::uint64_t number, bool in_form,
                       bool may_hold_reference, bool may_hold_utf8, LayoutFindings& findings) {
  if (!in_form && findings.lines_not_in_form++ == 0) findings.first_line_not_in_form = number;
  const std::string_view reference = may_hold_reference ? first_reference(line) : "";
  if (!reference.empty() && findings.lines_with_references++ == 0) {
    findings.first_line_with_reference = number;
    findings.first_reference = quoted(reference);
  }
  const std::string_view character = may_hold_utf8 ? first_utf8_character(line) : "";
  if (!character.empty() && findings.lines_with_utf8++ == 0) {
    findings.first_line_with_utf8 = number;
    findings.first_utf8_character = character;
  }
}

void check_dropped_line(std::string_view line, std::uint64_t number, LayoutFindings& findings) {
  const std::optional<std::string_view> name = section_header_name(line);
  if (!name) return;
  if (findings.sections_left_out++ == 0) findings.first_section_left_out = quoted(*name);
  const std::string_view indentation = line.substr(0, line.find('['));
  if (findings.first_section_indented_with_tabs == 0 &&
      indentation.find('\t') != std::string_view::npos) {
    findings.first_section_indented_with_tabs = number;
  }
}

}  // namespace sectify::internal
