#ifndef SECTIFY_CONSOLE_TERMINAL_ESCAPE_H_
#define SECTIFY_CONSOLE_TERMINAL_ESCAPE_H_

#include <string>
#include <string_view>

namespace sectify::console {

// Returns `bytes`, a name typed by the user or a text from a file, as a
// message may show it on a terminal: every byte that a terminal could take
// for a command (below 0x20 but the tab, 0x7F, the C1 controls U+0080 to
// U+009F, and any byte that is not part of valid UTF-8, such as a lone 0x9B,
// which some terminals read as CSI) becomes "\xHH"; all other UTF-8 stays.
std::string escaped_for_terminal(std::string_view bytes);

}  // namespace sectify::console

#endif  // SECTIFY_CONSOLE_TERMINAL_ESCAPE_H_
