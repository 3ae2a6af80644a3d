#include "model/warn_error.hpp"

#include <gtest/gtest.h>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

std::string block(int32_t n) {
  return test::capture_stdout([&] { WARN_ERROR(n); });
}

TEST(WarnError, TwoLineMessages) {
  EXPECT_EQ(block(1001), "\n DEM not found\n\n The river network determination failed\n\n");
  EXPECT_EQ(block(1002), "\n Error in removing the pit\n\n The river network determination failed\n\n");
  EXPECT_EQ(block(1003),
            "\n The maximum number of links of the river network has been exceeded\n\n"
            " Only the temporary file of the link properties has been produced\n\n");
}

TEST(WarnError, OneLineMessages) {
  const std::pair<int32_t, const char*> table[] = {
      {1004, "Error in temperature data"},
      {1005, "Error in rainfall data"},
      {1006, "File of link property not found"},
      {1007, "File of the contributing area not found"},
      {1008, "File of the modified DEM not found"},
      {1009, "File of the slope pointer not found"},
      {1010, "File of the classes of the hillslope roughness not found"},
      {1011, "File Tarvex.in not found"},
      {1012, "Simulation time step > time step of the rainfall data"},
      {1013, "The time step of the simulation is wrong"},
      {1014, "The number of discharge data exceeds the dimension of the file"},
      {1015, "The number of classes of hillslope roughness exceeds the dimension of the file"},
      {1016, "The length of the simulation exceeds the dimension of the file"},
      {1017, "Number of cross-section where to display the river flow exceeds the maximum number allowed"},
      {1018, "The dimension of the DEM exceeds the maximum allowed"},
      {1019, "The number of pits whose elevation has not to be raised exceeds the maximum allowed"},
      {1020, "The number of raingauges exceeds the maximum allowed"},
      {1021, "The number of temperature stations exceeds the maximum allowed"},
      {1022, "Authomatic calibration cannot be performed since more than 1 output cross-section has been "
             "specified"},
  };
  for (const auto& [n, text] : table) {
    EXPECT_EQ(block(n), std::string("\n ") + text + "\n\n") << n;
  }
}

TEST(WarnError, UnknownNumbersPrintOneEmptyLineAndRepeatsAreNotSuppressed) {
  EXPECT_EQ(block(999), "\n");
  EXPECT_EQ(block(1023), "\n");
  EXPECT_EQ(test::capture_stdout([] {
              WARN_ERROR(1011);
              WARN_ERROR(1011);
            }),
            "\n File Tarvex.in not found\n\n\n File Tarvex.in not found\n\n");
}

}  // namespace
}  // namespace tarvex
