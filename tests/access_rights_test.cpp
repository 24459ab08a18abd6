#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>

#include "files/access_rights_posix.h"

namespace sectify {
namespace {

// An access ACL as Linux stores it: a version, then (tag, bits, id) entries.
std::string acl_of(std::initializer_list<std::array<unsigned, 3>> entries) {
  std::string bytes = {2, 0, 0, 0};
  for (const auto& [tag, bits, id] : entries) {
    for (const unsigned value : {tag, tag >> 8, bits, bits >> 8, id, id >> 8, id >> 16, id >> 24}) {
      bytes += static_cast<char>(value & 0xFF);
    }
  }
  return bytes;
}

TEST(AccessRights, NarrowsTheBitsToWhatTheAclGave) {
  // Owner rw, user 65534 rw, owning group r, mask rw, others none: the
  // bits show the mask as the group's, 0660, where the group had 0640.
  const std::string acl =
      acl_of({{0x01, 6, 0}, {0x02, 6, 65534}, {0x04, 4, 0}, {0x10, 6, 0}, {0x20, 0, 0}});
  EXPECT_EQ(narrowest_mode(0660, acl), 0640u);
  // The mask limits the owning group too.
  EXPECT_EQ(narrowest_mode(0604, acl_of({{0x04, 7, 0}, {0x10, 0, 0}})), 0604u);
  // Without an entry for the owning group, it gets nothing.
  EXPECT_EQ(narrowest_mode(0674, acl_of({})), 0604u);
}

}  // namespace
}  // namespace sectify
