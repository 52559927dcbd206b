// Field location: positional, NUL-terminated and delimited fields.
#include <gtest/gtest.h>

#include <string>

#include "engine/driver.h"
#include "engine/run_state.h"
#include "records/field_location.h"
#include "tests/field_bytes.h"

namespace zara {
namespace {

using zara_test::FieldBytes;

class FieldLocation : public ::testing::Test {
 protected:
  void SetUp() override { s_init(); }

  // The located field's bytes; checks that the field lies inside the record.
  static std::string locate(const FieldBytes& record, uint32_t position, uint32_t length) {
    const Field f = s_movptr(record.data(), record.size(), position, length);
    EXPECT_GE(f.addr, record.data());
    EXPECT_LE(f.addr + f.len, record.data() + record.size());
    return std::string(reinterpret_cast<const char*>(f.addr), f.len);
  }
  static std::string field(const std::string& record, uint32_t number) {
    return locate(FieldBytes(record), number, kDelimitedField);
  }
};

TEST_F(FieldLocation, PositionalFieldsAreClippedToTheRecord) {
  gv.file_type = kFix;
  const FieldBytes rec("0123456789");
  EXPECT_EQ(locate(rec, 1, 3), "012");
  EXPECT_EQ(locate(rec, 8, 5), "789");
  EXPECT_EQ(locate(rec, 10, 1), "9");
  EXPECT_EQ(locate(rec, 11, 1), "");
  EXPECT_EQ(locate(rec, 0xFFFFFFFFu, 4), "");
  EXPECT_EQ(locate(rec, 0, 4), "");  // no byte before the record
  EXPECT_EQ(locate(FieldBytes(""), 1, 4), "");
}

TEST_F(FieldLocation, PositionsSkipLengthPrefixes) {
  const FieldBytes rec({'p', 'q', 'r', 's', 'A', 'B'});
  gv.file_type = kVs;
  EXPECT_EQ(locate(rec, 1, 2), "rs");
  gv.file_type = kRv;
  gv.prefix_width = 1;
  EXPECT_EQ(locate(rec, 1, 2), "qr");
  gv.prefix_width = 2;
  EXPECT_EQ(locate(rec, 1, 2), "rs");
  gv.file_type = kCvs;
  gv.prefix_width = 4;
  EXPECT_EQ(locate(rec, 1, 2), "AB");
  EXPECT_EQ(locate(rec, 1, kNulTerminated), "AB");
  EXPECT_EQ(locate(rec, 0, 2), "sA");  // position 0 under a prefix: still inside the record
  EXPECT_EQ(locate(rec, 3, 2), "");
}

TEST_F(FieldLocation, NulTerminatedFields) {
  const FieldBytes rec({'a', 'b', 0, 'c', 'd'});
  EXPECT_EQ(locate(rec, 1, kNulTerminated), "ab");
  EXPECT_EQ(locate(rec, 3, kNulTerminated), "");
  EXPECT_EQ(locate(rec, 4, kNulTerminated), "cd");  // no NUL: to the record's end
  EXPECT_EQ(locate(rec, 6, kNulTerminated), "");
}

TEST_F(FieldLocation, DelimitedFieldsStopBeforeTheLastByte) {
  EXPECT_EQ(field("A,B,C\n", 3), "C");
  EXPECT_EQ(field("A,B,C\n", 1), "A");
  EXPECT_EQ(field("A,,C\n", 2), "");
  EXPECT_EQ(field("A,B\n", 3), "");
  EXPECT_EQ(field("A,B,\n", 3), "\n");  // begins on the last byte: length 1
  EXPECT_EQ(field("AB,CD", 2), "C");   // without a terminator the last byte is still the limit
  EXPECT_EQ(field("A,B,C\n", 0), "");
  EXPECT_EQ(field("", 1), "");
  EXPECT_EQ(field(",", 1), "");
  EXPECT_EQ(field(",", 2), "");  // the delimiter is the last byte: nothing after it
  EXPECT_EQ(field("A,B,C\n", 4), "");
}

TEST_F(FieldLocation, DelimiterComesFromTheRunState) {
  gv.field_delimiter = ';';
  EXPECT_EQ(field("a,b;c,d\n", 2), "c,d");
}

TEST_F(FieldLocation, NulBytesQuoteDelimiters) {
  const std::string rec = std::string("x,") + '\0' + "p,q" + '\0' + ",y\n";
  EXPECT_EQ(field(rec, 2), "p,q");
  EXPECT_EQ(field(rec, 3), "y");
  const std::string unclosed = std::string("x,") + '\0' + "p,q\n";
  EXPECT_EQ(field(unclosed, 2), "p,q");
  EXPECT_EQ(field(unclosed, 3), "");  // no closing quote: the field does not exist
  EXPECT_EQ(field(std::string("a,") + '\0', 2), "");  // quote on the last byte
}

TEST_F(FieldLocation, DelimitedFieldsIgnorePrefixes) {
  gv.file_type = kVs;
  EXPECT_EQ(field("ab,c,d\n", 2), "c");
}

}  // namespace
}  // namespace zara
