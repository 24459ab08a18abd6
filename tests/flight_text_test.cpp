#include "conversion/flight_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/flight_file_converter.h"
#include "literal_conversion.h"

namespace sectify {
namespace {

using namespace std::string_literals;

std::string replaced(std::string text, std::string_view pattern, std::string_view replacement) {
  replace_all(text, pattern, replacement);
  return text;
}

std::string converted(std::string text) {
  convert_flight_text(text);
  return text;
}

std::string literally_converted(std::string text) {
  literal::convert_flight_text(text);
  return text;
}

// Pieces that random texts are built from: every prefix and suffix of every
// pattern, the cut marker, and bytes that the rules treat specially or must
// leave alone.
std::vector<std::string> text_fragments() {
  std::vector<std::string> fragments = {
      " ", "  ", "    ", "\n",   "\t",     "\r",       "\"",  "<",    ">",        "&",   "=",
      "/", "x",  "Name", "Main", "[Main]", "\n[Main]", "\0"s, "\xB0", "\xC3\xA9", "\xFF"};
  for (const literal::Rule& rule : literal::kRules) {
    const std::string pattern(rule.first);
    for (std::size_t i = 1; i <= pattern.size(); ++i) {
      fragments.push_back(pattern.substr(0, i));
      fragments.push_back(pattern.substr(pattern.size() - i));
    }
  }
  return fragments;
}

std::string random_text(std::mt19937& random, const std::vector<std::string>& fragments,
                        std::size_t max_fragments) {
  std::string text;
  const std::size_t count = random() % (max_fragments + 1);
  for (std::size_t i = 0; i < count; ++i) text += fragments[random() % fragments.size()];
  return text;
}

// A random line of one of the shapes a flight file has, with fields that
// sometimes hold bytes that change how the rules treat the line.
std::string random_flight_line(std::mt19937& random) {
  static const std::vector<std::string> field_parts = {
      "a", "Value", " ", "    ", "&apos;", "&quot;", "&#xB0;", "&amp;", "&", "\"",
      "<", ">",     "/", "\xB0", "\0"s,    "Main",   "\">",    "\" />", "\r"};
  auto field = [&] {
    std::string text;
    for (std::size_t n = random() % 5; n > 0; --n) {
      text += field_parts[random() % field_parts.size()];
    }
    return text;
  };
  std::string line(random() % 14, ' ');
  switch (random() % 6) {
    case 0:
    case 1:
    case 2:
      line += "<Property Name=\"" + field() + "\" Value=\"" + field() + "\" />";
      break;
    case 3:
      line += "<Section Name=\"" + (random() % 3 == 0 ? "Main"s : field()) + "\">";
      break;
    case 4:
      line += "</Section>";
      break;
    default:
      line += random() % 2 ? "</Flight.Sections>" : "</SimBase.Document>";
      break;
  }
  if (random() % 8 == 0) line += field();
  return line;
}

// Converts `bytes` as a file read in blocks whose sizes `next_block`
// returns, one call per block.
template <typename NextBlock>
std::string streamed(std::string_view bytes, NextBlock next_block) {
  FlightFileConverter converter;
  std::string output;
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(next_block(), bytes.size());
    output += converter.convert(bytes.substr(0, n));
    bytes.remove_prefix(n);
  }
  output += converter.finish();
  EXPECT_EQ(converter.main_found(), !output.empty());
  return output;
}

std::string streamed_in_blocks_of(std::string_view bytes, std::size_t block) {
  return streamed(bytes, [block] { return block; });
}

// Checks the stream against the literal algorithm for every block size up
// to `max_block`, then a few large ones.
void expect_stream_agrees(const std::string& bytes, std::size_t max_block = 40) {
  const std::string expected = literal::convert_flight_file(bytes);
  for (std::size_t block = 1; block <= max_block; ++block) {
    ASSERT_EQ(streamed_in_blocks_of(bytes, block), expected)
        << "block " << block << " of " << testing::PrintToString(bytes);
  }
  for (const std::size_t block : {std::size_t{4096}, std::size_t{1} << 20}) {
    ASSERT_EQ(streamed_in_blocks_of(bytes, block), expected) << "block " << block;
  }
}

// Expects the rules' own operation and the literal algorithm to make
// `expected` of `text`, and the stream engine to make of it what the
// literal algorithm makes of it as a file.
void expect_all_agree(const std::string& text, const std::string& expected) {
  EXPECT_EQ(converted(text), expected) << testing::PrintToString(text);
  EXPECT_EQ(literally_converted(text), expected) << testing::PrintToString(text);
  expect_stream_agrees(text);
}

TEST(ReplaceAll, ReplacesWhatEachReplacementCreates) {
  struct Case {
    std::string text, pattern, replacement, expected;
  };
  const Case cases[] = {
      {"", "ab", "", ""},
      {"xyz", "ab", "", "xyz"},
      {"abab", "ab", "", ""},
      // Each removal joins the bytes around it into a new occurrence.
      {"aaabbb", "ab", "", ""},
      {"<Prop<Property Name=\"erty Name=\"Tail", "<Property Name=\"", "", "Tail"},
      // The replacement forms a new occurrence with its neighbours.
      {"aaabb", "aab", "a", "a"},
      {"x\"\"\">>>", "\">", "]", "x\"\"]>>"},
      // n blanks keep n mod 4 of them.
      {"a         b", "    ", "", "a b"},
      {"a        b", "    ", "", "ab"},
      {"a       ", "    ", "", "a   "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(replaced(c.text, c.pattern, c.replacement), c.expected) << c.text;
    std::string oracle = c.text;
    literal::replace_all(oracle, c.pattern, c.replacement);
    EXPECT_EQ(oracle, c.expected) << c.text;
  }
}

TEST(ReplaceAll, AgreesWithLiteralAlgorithmOnSmallAlphabet) {
  // Over two letters, patterns overlap themselves and each other in every
  // way a short pattern can.
  std::mt19937 random(1);
  for (int i = 0; i < 50000; ++i) {
    auto word = [&](std::size_t length) {
      std::string text;
      for (std::size_t j = 0; j < length; ++j) text += "ab"[random() % 2];
      return text;
    };
    const std::string pattern = word(1 + random() % 4);
    const std::string replacement = word(random() % pattern.size());
    const std::string text = word(random() % 40);
    std::string oracle = text;
    literal::replace_all(oracle, pattern, replacement);
    ASSERT_EQ(replaced(text, pattern, replacement), oracle)
        << "text " << text << " pattern " << pattern << " replacement " << replacement;
  }
}

TEST(ReplaceAll, AgreesWithLiteralAlgorithmForEveryRule) {
  const std::vector<std::string> fragments = text_fragments();
  std::mt19937 random(2);
  for (const literal::Rule& rule : literal::kRules) {
    for (int i = 0; i < 3000; ++i) {
      const std::string text = random_text(random, fragments, 30);
      std::string oracle = text;
      literal::replace_all(oracle, rule.first, rule.second);
      ASSERT_EQ(replaced(text, rule.first, rule.second), oracle) << "rule " << rule.first;
    }
  }
}

TEST(ConvertFlightText, ConvertsFileInExpectedLayout) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SimBase.Document Type=\"Flight\" version=\"1,0\">\n"
      "    <Descr>A test</Descr>\n"
      "    <Flight.Sections>\n"
      "        <Section Name=\"Main\">\n"
      "            <Property Name=\"Title\" Value=\"Dawn &amp; dusk\" />\n"
      "            <Property Name=\"Heading\" Value=\"270&#xB0;\" />\n"
      "        </Section>\n"
      "        <Section Name=\"Notes\">\n"
      "            <Property Name=\"Quote\" Value=\"&quot;Pilot&apos;s&quot;\" />\n"
      "            <Property Name=\"Empty\" Value=\"\" />\n"
      "        </Section>\n"
      "    </Flight.Sections>\n"
      "</SimBase.Document>\n";
  expect_all_agree(text,
                   "\n[Main]\nTitle=Dawn &amp; dusk\nHeading=270\xB0\n\n"
                   "[Notes]\nQuote=\"Pilot's\"\nEmpty=\n\n");
}

TEST(ConvertFlightText, CutsAtFirstMainHeaderAfterLineEnd) {
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {"", ""},
      {"<Section Name=\"Other\">\n</Section>\n", ""},
      // On the first line there is no line end before the header.
      {"<Section Name=\"Main\">\n<Property Name=\"a\" Value=\"1\" />\n", ""},
      // Indentation that rule 1 does not remove hides the header.
      {"x\n  <Section Name=\"Main\">\n", ""},
      {"x\n\t<Section Name=\"Main\">\n", ""},
      // Only the first header counts.
      {"x\n<Section Name=\"Main\">\n[Main]\n", "\n[Main]\n[Main]\n"},
      {"x\n<Section Name=\"Main\">", "\n[Main]"},
      // The header may be made of text that other rules join.
      {"x\n<Section Name=\"Ma    in\">\n", "\n[Main]\n"},
  };
  for (const Case& c : cases) expect_all_agree(c.text, c.expected);
}

TEST(ConvertFlightText, TreatsUnexpectedLayoutAsTheRulesDictate) {
  const std::string head = "x\n<Section Name=\"Main\">\n";
  struct Case {
    std::string body, expected;
  };
  const Case cases[] = {
      // Blanks in values: runs of n keep n mod 4.
      {"<Property Name=\"a\" Value=\"1     2        3\" />\n", "a=1 23\n"},
      // Tabs and odd blank counts stay at the start of a line.
      {"\t<Property Name=\"a\" Value=\"1\" />\n", "\ta=1\n"},
      {"      <Property Name=\"a\" Value=\"1\" />\n", "  a=1\n"},
      // Every quote-bracket pair becomes a bracket.
      {"<Property Name=\"a\" Value=\"b\">c\" />\n", "a=b]c\n"},
      // Only three references are decoded, the degree sign in capitals only.
      {"<Property Name=\"a\" Value=\"&lt;&gt;&amp;&#xb0;&#176;\" />\n",
       "a=&lt;&gt;&amp;&#xb0;&#176;\n"},
      // A decoded quote takes no part in the structural rules.
      {"<Property Name=\"a\" Value=\"&quot; />\" />\n", "a=\" />\n"},
      // Closing lines without a line end are not removed.
      {"</Section>\n</Flight.Sections>\n</SimBase.Document>", "\n</SimBase.Document>"},
      // A closing line removed with its line end joins its neighbours.
      {"a</Flight.Sections>\nb\n", "ab\n"},
      {"</Flight.</Flight.Sections>\nSections>\nc\n", "c\n"},
      // Bytes that no rule matches pass through.
      {"<Property Name=\"\xC3\xA9\" Value=\"\0\xFF\r\" />\n"s, "\xC3\xA9=\0\xFF\r\n"s},
  };
  for (const Case& c : cases) expect_all_agree(head + c.body, "\n[Main]\n" + c.expected);
}

TEST(ConvertFlightText, AgreesWithLiteralAlgorithmOnRandomFragments) {
  const std::vector<std::string> fragments = text_fragments();
  std::mt19937 random(3);
  for (int i = 0; i < 50000; ++i) {
    // Most texts get a Main header up front, so that the cut keeps what the
    // rules made of the rest.
    const std::string text =
        (random() % 4 != 0 ? "x\n[Main]"s : ""s) + random_text(random, fragments, 60);
    ASSERT_EQ(converted(text), literally_converted(text)) << testing::PrintToString(text);
  }
}

TEST(ConvertFlightText, AgreesWithLiteralAlgorithmOnRandomFlights) {
  std::mt19937 random(4);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 4 != 0 ? "<?xml?>\n<Section Name=\"Main\">\n" : "";
    for (std::size_t lines = random() % 12; lines > 0; --lines) {
      text += random_flight_line(random);
      if (random() % 16 != 0) text += '\n';
    }
    ASSERT_EQ(converted(text), literally_converted(text)) << testing::PrintToString(text);
  }
}

std::string with_crlf(std::string_view text) {
  std::string result;
  for (const char c : text) result += c == '\n' ? "\r\n"s : std::string(1, c);
  return result;
}

TEST(FlightFileConverter, JoinsAndCutsAcrossBlockBoundaries) {
  const std::string main = "x\n<Section Name=\"Main\">\n";
  const std::string cases[] = {
      // Closing lines joining their neighbours, nested inside each other.
      main + "a</Flight.Sections>\nb</SimBase.Document>\nc\n",
      main + "</Flight.</Flight.Sections>\nSections>\n</SimBase.Document>\n\nc\n",
      main + "</SimBase.</Flight.Sections>\nDocument>\n<Property Name=\"a\" Value=\"b\" />\n",
      // A join that makes the cut marker.
      "x\n</Flight.Sections>\n[Main]\ny\n",
      "x\n[Ma</SimBase.Document>\nin]\n",
      "x\n<Section Name=\"Other\">\n</Section>\n<Section Name=\"Main\">\na=b\n",
      // Main on the first line, or never.
      "<Section Name=\"Main\">\n<Property Name=\"a\" Value=\"b\" />\n",
      "[Main]\n[Main]\n",
      "\n[Main]",
      // CR handling: CR LF split anywhere, lone CRs, CR CR LF, a final CR.
      with_crlf(main + "<Property Name=\"a\" Value=\"b\" />\n</Section>\n"),
      main + "a\rb\r\r\n\r\n\rc\r\r",
      main + "</Flight.Sections>\r\n</SimBase.Document>\r\r\nz\r",
      // No final line end, a final closing line without one, NUL bytes.
      main + "<Property Name=\"a\" Value=\"b\" />",
      main + "</SimBase.Document>",
      main + "a\0b\n<Property Name=\"\0\" Value=\"\0\" />\n\0"s,
      // Lines much longer than the blocks.
      main + "<Property Name=\"long\" Value=\"" + std::string(300, 'v') + "\" />\n" +
          std::string(200, ' ') + "\n",
  };
  for (const std::string& text : cases) expect_stream_agrees(text);
}

TEST(FlightFileConverter, KeepsTensOfThousandsOfJoinedLinesInOne) {
  std::string text = "x\n<Section Name=\"Main\">\n";
  for (int i = 0; i < 30000; ++i) text += "v</Flight.Sections>\n";
  text += "end\n";
  const std::string expected = literal::convert_flight_file(text);
  ASSERT_EQ(expected, "\r\n[Main]\r\n" + std::string(30000, 'v') + "end\r\n");
  for (const std::size_t block : {1u, 7u, 4096u, 1u << 20}) {
    EXPECT_EQ(streamed_in_blocks_of(text, block), expected) << block;
  }
}

TEST(FlightFileConverter, ScansFieldsAtEveryOffsetOfAChunk) {
  // Runs of blanks, references and half references placed at every offset
  // of a sixteen-byte chunk, and at the end of the text.
  const std::string tricky[] = {"  ",   "    ",   "     ", "&quot;", "&quo",      "&#xB0;",
                                "&#xB", "&apos;", "&",     " &",     "&  ",       "\"",
                                ">",    "<",      "\r",    "\0"s,    "&qu    ot;"};
  for (const std::string& piece : tricky) {
    for (std::size_t offset = 0; offset < 40; ++offset) {
      const std::string value = std::string(offset, 'v') + piece + "w";
      const std::string text = "x\n<Section Name=\"Main\">\n<Property Name=\"" + value +
                               "\" Value=\"" + value + "\" />\r\n<Section Name=\"" + value + "\">";
      std::string in_place = text;
      convert_flight_text(in_place);
      ASSERT_EQ(in_place, literally_converted(text)) << testing::PrintToString(text);
      ASSERT_EQ(streamed_in_blocks_of(text, 1 << 20), literal::convert_flight_file(text))
          << testing::PrintToString(text);
    }
  }
}

TEST(FlightFileConverter, AgreesWithLiteralAlgorithmOnRandomFlightsInRandomBlocks) {
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 4 != 0 ? "<?xml?>\r\n<Section Name=\"Main\">\n" : "";
    for (std::size_t lines = random() % 12; lines > 0; --lines) {
      text += random_flight_line(random);
      const std::size_t end = random() % 16;
      text += end == 0 ? "" : end < 8 ? "\n" : end < 15 ? "\r\n" : "\r";
    }
    const std::size_t largest = 1 + random() % 300;
    ASSERT_EQ(streamed(text, [&] { return 1 + random() % largest; }),
              literal::convert_flight_file(text))
        << testing::PrintToString(text);
  }
}

TEST(FlightFileConverter, AgreesWithLiteralAlgorithmOnRandomFragmentsInRandomBlocks) {
  const std::vector<std::string> fragments = text_fragments();
  std::mt19937 random(6);
  for (int i = 0; i < 20000; ++i) {
    const std::string text =
        (random() % 4 != 0 ? "x\r\n[Main]"s : ""s) + random_text(random, fragments, 60);
    ASSERT_EQ(streamed(text, [&] { return 1 + random() % 24; }), literal::convert_flight_file(text))
        << testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace sectify
