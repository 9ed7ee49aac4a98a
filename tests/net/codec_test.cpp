// SPDX-License-Identifier: GPL-3.0-or-later
// Datagram layout: header and counters, field splitting, number blocks.
#include <gtest/gtest.h>

#include "net/codec.h"
#include "support/datagrams.h"

namespace plumo {
namespace {

TMStigs Split(const std::string& bytes, std::size_t start) {
  return SplitFields(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), start);
}

TEST(Codec, HeaderCarriesTypeAndPerTypeCounterThatWraps) {
  SeqCounters counters;
  EXPECT_EQ(MakeHeader(counters, pkChannelLine), std::string("P\0\x0E\0\x01", 5));
  EXPECT_EQ(MakeHeader(counters, pkMassMessage), std::string("P\0\x10\0\x01", 5));  // independent counters
  for (int n = 2; n < 65535; ++n) MakeHeader(counters, pkChannelLine);
  EXPECT_EQ(MakeHeader(counters, pkChannelLine), std::string("P\0\x0E\xFF\xFF", 5));
  EXPECT_EQ(MakeHeader(counters, pkChannelLine), std::string("P\0\x0E\0\0", 5));
  EXPECT_EQ(MakeHeader(counters, pkChannelLine), std::string("P\0\x0E\0\x01", 5));
  EXPECT_EQ(counters.Current(pkMassMessage), 1);
}

TEST(Codec, SplitFieldsRules) {
  const std::string nickThenTail("ann\0unterminated", 16);
  EXPECT_EQ(Split(nickThenTail, 0), TMStigs{"ann"});
  EXPECT_EQ(Split(std::string("a\0\0b\0", 5), 0), (TMStigs{"a", "", "b"}));
  EXPECT_EQ(Split(std::string("\0", 1), 0), TMStigs{""});
  EXPECT_EQ(Split(std::string("xyz\0", 4), 4), TMStigs{});
  EXPECT_EQ(Split(std::string("xyz\0", 4), 99), TMStigs{});
  EXPECT_EQ(Split(std::string("\x01\xFF\xE0\0", 4), 0), TMStigs{"\x01\xFF\xE0"});  // bytes pass unchanged
  EXPECT_EQ(JoinFields({"a", "", "\xC0"}), std::string("a\0\0\xC0\0", 5));
}

TEST(Codec, NumbersAreBigEndian) {
  EXPECT_EQ(U16ToBytes(258), std::string("\x01\x02", 2));
  EXPECT_EQ(U32ToBytes(0x01020304), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(BytesToU16(0xFF, 0xFE), 0xFFFE);
  EXPECT_EQ(BytesToU32(0xFF, 0, 0, 1), 0xFF000001U);
  EXPECT_EQ(UnixNow(1'700'000'000'499), 1'700'000'000U);
  EXPECT_EQ(UnixNow(1'700'000'000'500), 1'700'000'001U);
  EXPECT_EQ(UnixNow(std::int64_t{1} << 42),
            static_cast<std::uint32_t>(((std::int64_t{1} << 42) + 500) / 1000));
}

}  // namespace
}  // namespace plumo
