// Rewriting values of a free-format file in place.
#include <gtest/gtest.h>

#include <stdexcept>

#include "io/control_edit.hpp"

namespace tarvex {
namespace {

TEST(ControlEdit, ReplacesOnlyTheNamedValues) {
  const std::string text = "label, with words\r\n 4.  7.,15.\r\n0.25\r\nlast";
  EXPECT_EQ(list_item(text, 2, 3), "15.");
  EXPECT_EQ(list_item(text, 3, 1), "0.25");
  EXPECT_FALSE(list_item(text, 3, 2));
  EXPECT_FALSE(list_item(text, 9, 1));
  // Separators, carriage returns and the last line without an end stay.
  EXPECT_EQ(replace_list_items(text, {{3, 1, "0.8128819"}, {2, 2, "13.5"}, {2, 3, "1e+05"}}),
            "label, with words\r\n 4.  13.5,1e+05\r\n0.8128819\r\nlast");
  EXPECT_THROW(replace_list_items(text, {{3, 2, "1"}}), std::out_of_range);
}

}  // namespace
}  // namespace tarvex
