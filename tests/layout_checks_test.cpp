#include "conversion/internal/layout_checks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/flight_file_converter.h"
#include "literal_conversion.h"

namespace sectify::internal {
namespace {

using namespace std::string_literals;

TEST(LayoutChecks, KnowsThePlainTextForm) {
  for (const char* line : {"", "[Main]", "[]", "[a=b]", "a=b", "=v", "a=x>y", "a=b\t ", "[x]y]"}) {
    EXPECT_TRUE(in_plain_form(line)) << line;
  }
  for (const char* line : {" a=b", "\ta=b", " [Main]", "[Main", "Main]", "a", "<a=b>", "[<x>]",
                           "a=<b", "\t", " ", "]"}) {
    EXPECT_FALSE(in_plain_form(line)) << line;
  }
}

TEST(LayoutChecks, FindsTheFirstReferenceLeft) {
  EXPECT_EQ(first_reference("Rock &amp; Roll &lt;"), "&amp;");
  EXPECT_EQ(first_reference("&#xb0; &#176;"), "&#xb0;");
  EXPECT_EQ(first_reference("a & b; &; &x y; & &q;"), "&q;");
  EXPECT_EQ(first_reference("&amp"), "");
  EXPECT_EQ(first_reference("&a-b;"), "");
  EXPECT_EQ(first_reference(""), "");
}

TEST(LayoutChecks, NamesSectionHeadersBehindBlanksAndTabs) {
  EXPECT_EQ(section_header_name("[Other]"), "Other");
  EXPECT_EQ(section_header_name(" \t [A b]"), "A b");
  EXPECT_EQ(section_header_name("[]"), "");
  EXPECT_EQ(section_header_name("[Other] "), std::nullopt);
  EXPECT_EQ(section_header_name("<Descr>x</Descr>"), std::nullopt);
  EXPECT_EQ(section_header_name("["), std::nullopt);
  EXPECT_EQ(section_header_name(" \t"), std::nullopt);
}

// The findings for the XML flight file `bytes`, worked out from the literal
// algorithm: every line of its output, named by the input line that its
// first byte (or, for an empty line, its line end) came from, and every line
// before the Main marker of the text that the rules make.
LayoutFindings expected_findings(const std::string& bytes) {
  LayoutFindings expected;
  expected.utf16 = bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
  const std::string input = literal::text_of_file(bytes);
  // Rules 1 to 10 hold no line end, so they run line by line; each byte of
  // the text keeps the number of the input line it came from.
  std::string text;
  std::vector<std::uint64_t> origin;
  std::uint64_t input_line = 0;
  for (std::size_t begin = 0; begin <= input.size();) {
    const std::size_t end = std::min(input.find('\n', begin), input.size());
    std::string line = input.substr(begin, end - begin);
    ++input_line;
    if (cuts_blank_run(line)) check_blank_run(input_line, expected);
    for (std::size_t order = 0; order < 10; ++order) {
      literal::replace_all(line, literal::kRules[order].first, literal::kRules[order].second);
    }
    if (end < input.size()) line += '\n';
    text += line;
    origin.insert(origin.end(), line.size(), input_line);
    begin = end + 1;
  }
  for (std::size_t order = 10; order < 12; ++order) {
    const std::string_view pattern = literal::kRules[order].first;
    for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern)) {
      text.erase(at, pattern.size());
      origin.erase(origin.begin() + static_cast<std::ptrdiff_t>(at),
                   origin.begin() + static_cast<std::ptrdiff_t>(at + pattern.size()));
    }
  }
  expected.input_lines = input_line - (input.empty() || input.back() == '\n' ? 1 : 0);
  // Without the marker every complete line is dropped, and no section
  // counts as left out.
  const std::size_t main = text.find("\n[Main]");
  const std::string_view before =
      std::string_view(text).substr(0, main != std::string::npos ? main + 1 : text.rfind('\n') + 1);
  for (std::size_t begin = 0; begin < before.size();) {
    const std::size_t end = before.find('\n', begin);
    check_dropped_line(before.substr(begin, end - begin), origin[begin], expected);
    begin = end + 1;
  }
  if (main == std::string::npos) {
    expected.sections_left_out = 0;
    expected.first_section_left_out.clear();
    return expected;
  }
  for (std::size_t begin = main + 1; begin < text.size();) {
    const std::size_t end = std::min(text.find('\n', begin), text.size());
    const std::string_view line = std::string_view(text).substr(begin, end - begin);
    check_output_line(line, origin[begin], in_plain_form(line), true, true, expected);
    begin = end + 1;
  }
  return expected;
}

LayoutFindings found_in_blocks(const std::string& bytes, std::size_t block) {
  FlightFileConverter converter;
  for (std::size_t at = 0; at < bytes.size(); at += block)
    converter.convert(bytes.substr(at, block));
  converter.finish();
  return converter.findings();
}

void expect_same(const LayoutFindings& found, const LayoutFindings& expected,
                 const std::string& bytes) {
  const std::string context = testing::PrintToString(bytes);
  EXPECT_EQ(found.utf16, expected.utf16) << context;
  EXPECT_EQ(found.input_lines, expected.input_lines) << context;
  EXPECT_EQ(found.first_section_indented_with_tabs, expected.first_section_indented_with_tabs)
      << context;
  EXPECT_EQ(found.sections_left_out, expected.sections_left_out) << context;
  EXPECT_EQ(found.first_section_left_out, expected.first_section_left_out) << context;
  EXPECT_EQ(found.lines_not_in_form, expected.lines_not_in_form) << context;
  EXPECT_EQ(found.first_line_not_in_form, expected.first_line_not_in_form) << context;
  EXPECT_EQ(found.lines_with_references, expected.lines_with_references) << context;
  EXPECT_EQ(found.first_line_with_reference, expected.first_line_with_reference) << context;
  EXPECT_EQ(found.first_reference, expected.first_reference) << context;
  EXPECT_EQ(found.lines_with_utf8, expected.lines_with_utf8) << context;
  EXPECT_EQ(found.first_line_with_utf8, expected.first_line_with_utf8) << context;
  EXPECT_EQ(found.first_utf8_character, expected.first_utf8_character) << context;
  EXPECT_EQ(found.lines_with_blank_runs, expected.lines_with_blank_runs) << context;
  EXPECT_EQ(found.first_line_with_blank_run, expected.first_line_with_blank_run) << context;
}

TEST(LayoutChecks, ConverterFindsWhatTheOutputShows) {
  const std::string cases[] = {
      "x\n<Section Name=\"Pre\">\n</Section>\n<Section Name=\"Main\">\n"
      "\t<Property Name=\"a\" Value=\"&amp;\" />\n</SimBase.Document>",
      // Lines that closing lines join are checked as the line they make.
      "x\n<Section Name=\"Main\">\n  </Flight.Sections>\n<Property Name=\"a\" Value=\"b\" />\n"
      "&lt</SimBase.Document>\n;\n",
      // A shaped line whose name begins with a blank or a tab.
      "x\n<Section Name=\"Main\">\n<Property Name=\" a\" Value=\"b\" />\n"
      "<Property Name=\"\ta\" Value=\"&amp;amp;\" />\n",
      "\xFE\xFF\0<"s,
      "\xFF",
  };
  for (const std::string& bytes : cases) {
    for (const std::size_t block : {1u, 3u, 4096u}) {
      expect_same(found_in_blocks(bytes, block), expected_findings(bytes), bytes);
    }
  }
}

TEST(LayoutChecks, ConverterAgreesWithTheLiteralOutputOnRandomFlights) {
  static const std::string field_parts[] = {"a",      " ", "    ", "\t",       "&amp;", "&quot;",
                                            "&#xb0;", "&", ";",    "=",        "[",     "]",
                                            "<",      ">", "Main", "\xC3\xB4", "\xF4"};
  static const std::string line_parts[] = {"<Property Name=\"",
                                           "\" Value=\"",
                                           "\" />",
                                           "<Section Name=\"",
                                           "\">",
                                           "</Section>",
                                           "</Flight.Sections>",
                                           "</SimBase.Document>",
                                           "[Main]",
                                           "  ",
                                           "    ",
                                           "\t"};
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::string bytes = random() % 4 != 0 ? "x\r\n<Section Name=\"Main\">\n" : "";
    for (std::size_t parts = random() % 24; parts > 0; --parts) {
      const std::size_t kind = random() % 4;
      if (kind == 0)
        bytes += random() % 2 ? "\r\n" : "\n";
      else if (kind == 1)
        bytes += line_parts[random() % std::size(line_parts)];
      else
        bytes += field_parts[random() % std::size(field_parts)];
    }
    expect_same(found_in_blocks(bytes, 1 + random() % 64), expected_findings(bytes), bytes);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace sectify::internal
