// The JSON presenter's handling of device text: which byte strings count as UTF-8, and that
// text which is not still gives output a strict parser accepts, with its exact bytes in hex.
#include "tool/json_output.h"

#include <gtest/gtest.h>

namespace rq {
namespace {

TEST(JsonOutput, Utf8Validation) {
  struct Case {
    const char* bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii", true},
      {"caf\xc3\xa9", true},        // two bytes
      {"\xe2\x82\xac", true},       // three bytes
      {"\xf0\x9f\x98\x80", true},   // four bytes
      {"\xf4\x8f\xbf\xbf", true},   // U+10FFFF, the last code point
      {"caf\xe9", false},           // Latin-1
      {"\xc3", false},              // cut short at the end
      {"\xe2\x82", false},          // cut short
      {"\xe2\x28\xa1", false},      // bad continuation byte
      {"\xc0\xaf", false},          // overlong '/'
      {"\xe0\x80\xaf", false},      // overlong, three bytes
      {"\xed\xa0\x80", false},      // a UTF-16 surrogate
      {"\xf4\x90\x80\x80", false},  // past U+10FFFF
      {"\x80", false},              // a lone continuation byte
      {"\xff", false},
  };
  for (const Case& c : cases) EXPECT_EQ(valid_utf8(c.bytes), c.valid) << c.bytes;
}

TEST(JsonOutput, BadBytesAreReplacedAndCarriedInHex) {
  nlohmann::ordered_json o = nlohmann::ordered_json::object();
  json_text(o, "name", "ok");
  EXPECT_FALSE(o.contains("name_hex"));
  json_text(o, "name", std::string("a\xff\x00z", 4));
  EXPECT_EQ(o["name_hex"], "61ff007a");
  std::string text = o.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  nlohmann::json back = nlohmann::json::parse(text, nullptr, false);
  ASSERT_FALSE(back.is_discarded()) << text;
  EXPECT_EQ(back["name"], std::string("a\xef\xbf\xbd\x00z", 6));
}

}  // namespace
}  // namespace rq
