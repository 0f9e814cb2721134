// The constant-string table of the compiled zeq unit.
//
// Each record points to NUL-terminated bytes str_data_N.  A text that occurs
// inside another constant shares that constant's bytes; every shared text is
// taken from the end of its owner, so its bytes are still followed by the
// owner's NUL ("abcabc" and "bc" are the last six and last two bytes of
// "abcabcabc", "llo" the last three of "hello").
#include "strings_table.h"

namespace {

// Bytes owned by one constant each.
constexpr char str_data_0[] = "";
constexpr char str_data_1[] = "hello world";
constexpr char str_data_3[] = "xyz";
constexpr char str_data_6[] = "abcabcabc";
constexpr char str_data_8[] = "hello";
constexpr char str_data_9[] = "hel";
constexpr char str_data_11[] = "racecar";
constexpr char str_data_12[] = "a,b,c,d";

// Bytes shared with another constant.
constexpr const char *str_data_2 = str_data_1 + 6;   // "world"
constexpr const char *str_data_4 = str_data_6 + 3;   // "abcabc"
constexpr const char *str_data_5 = str_data_6 + 7;   // "bc"
constexpr const char *str_data_7 = str_data_6 + 6;   // "abc"
constexpr const char *str_data_10 = str_data_8 + 2;  // "llo"

constexpr ZeqString constant(const char *bytes, int64_t len) {
    return ZeqString{const_cast<char *>(bytes), len, len + 1};
}

}  // namespace

extern "C" {
const ZeqString zeq_str_0 = constant(str_data_0, 0);
const ZeqString zeq_str_1 = constant(str_data_1, 11);
const ZeqString zeq_str_2 = constant(str_data_2, 5);
const ZeqString zeq_str_3 = constant(str_data_3, 3);
const ZeqString zeq_str_4 = constant(str_data_4, 6);
const ZeqString zeq_str_5 = constant(str_data_5, 2);
const ZeqString zeq_str_6 = constant(str_data_6, 9);
const ZeqString zeq_str_7 = constant(str_data_7, 3);
const ZeqString zeq_str_8 = constant(str_data_8, 5);
const ZeqString zeq_str_9 = constant(str_data_9, 3);
const ZeqString zeq_str_10 = constant(str_data_10, 3);
const ZeqString zeq_str_11 = constant(str_data_11, 7);
const ZeqString zeq_str_12 = constant(str_data_12, 7);
}
