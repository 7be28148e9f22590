// The hash the host and the benchmarks compare runs by.
#include "bits.h"

#include "host_fixtures.h"

using namespace tumelin;

TEST(Fnv1a64, MatchesTheReferenceVectors) {
  EXPECT_EQ(Fnv1a64("", 0), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a", 1), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("foobar", 6), 0x85944171f73967e8ull);
}
