#include "files/flight_file.h"

#include <memory>
#include <string_view>

#include "conversion/flight_file_converter.h"

namespace sectify {
namespace {

// Writes `bytes` to `output`, and asks the system to start writing them to
// disk every `kWritebackEvery` bytes, so that the final sync has less left
// to wait for. Returns false on failure.
bool write_out(const file_access::File& output, std::string_view bytes, std::size_t& unsynced) {
  constexpr std::size_t kWritebackEvery = std::size_t{8} << 20;
  if (!file_access::write_all(output, bytes.data(), bytes.size())) return false;
  unsynced += bytes.size();
  if (unsynced >= kWritebackEvery) {
    file_access::start_writeback(output);
    unsynced = 0;
  }
  return true;
}

// Returns the result of a stream that ended in `status`, for the reason
// the system gives for its last failure.
StreamResult failure(StreamStatus status) { return {status, file_access::last_error(), false, {}}; }

}  // namespace

StreamResult convert_file(const file_access::File& input, const file_access::File& output,
                          std::size_t block_size) {
  // Not zeroed: read() fills what is used.
  const std::unique_ptr<char[]> block(new char[block_size]);
  FlightFileConverter converter;
  std::size_t unsynced = 0;
  for (;;) {
    const std::ptrdiff_t got = file_access::read_some(input, block.get(), block_size);
    if (got < 0) return failure(StreamStatus::cannot_read);
    if (got == 0) break;
    const std::string_view done =
        converter.convert(std::string_view(block.get(), static_cast<std::size_t>(got)));
    if (!write_out(output, done, unsynced)) return failure(StreamStatus::cannot_write);
  }
  if (!write_out(output, converter.finish(), unsynced)) return failure(StreamStatus::cannot_write);
  return {StreamStatus::ok, 0, converter.main_found(), converter.findings()};
}

}  // namespace sectify
