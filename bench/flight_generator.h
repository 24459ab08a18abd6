#ifndef SECTIFY_BENCH_FLIGHT_GENERATOR_H_
#define SECTIFY_BENCH_FLIGHT_GENERATOR_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace sectify::bench {

// Returns an XML flight file of about `size` bytes (a little more, to close
// the document) in the layout the conversion expects, with CR LF line ends:
// a Main section first, then sections of varied sizes whose values hold
// numbers, words, pairs of blanks and the three character references. The
// same `seed` always gives the same file.
std::string generate_flight(std::size_t size, std::uint64_t seed);

}  // namespace sectify::bench

#endif  // SECTIFY_BENCH_FLIGHT_GENERATOR_H_
