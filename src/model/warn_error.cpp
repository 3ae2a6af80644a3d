#include "model/warn_error.hpp"

#include <cstdio>

#include "io/text_writer.hpp"

namespace tarvex {
namespace {

struct Message {
  int32_t number;
  const char* first;
  const char* second;  // printed after an empty line, or nullptr
};

constexpr Message kCatalogue[] = {
    {1001, "DEM not found", "The river network determination failed"},
    {1002, "Error in removing the pit", "The river network determination failed"},
    {1003, "The maximum number of links of the river network has been exceeded",
     "Only the temporary file of the link properties has been produced"},
    {1004, "Error in temperature data", nullptr},
    {1005, "Error in rainfall data", nullptr},
    {1006, "File of link property not found", nullptr},
    {1007, "File of the contributing area not found", nullptr},
    {1008, "File of the modified DEM not found", nullptr},
    {1009, "File of the slope pointer not found", nullptr},
    {1010, "File of the classes of the hillslope roughness not found", nullptr},
    {1011, "File Tarvex.in not found", nullptr},
    {1012, "Simulation time step > time step of the rainfall data", nullptr},
    {1013, "The time step of the simulation is wrong", nullptr},
    {1014, "The number of discharge data exceeds the dimension of the file", nullptr},
    {1015, "The number of classes of hillslope roughness exceeds the dimension of the file", nullptr},
    {1016, "The length of the simulation exceeds the dimension of the file", nullptr},
    {1017, "Number of cross-section where to display the river flow exceeds the maximum number allowed",
     nullptr},
    {1018, "The dimension of the DEM exceeds the maximum allowed", nullptr},
    {1019, "The number of pits whose elevation has not to be raised exceeds the maximum allowed", nullptr},
    {1020, "The number of raingauges exceeds the maximum allowed", nullptr},
    {1021, "The number of temperature stations exceeds the maximum allowed", nullptr},
    {1022,
     "Authomatic calibration cannot be performed since more than 1 output cross-section has been specified",
     nullptr},
};

}  // namespace

void WARN_ERROR(int32_t number) {
  print_line("");
  for (const Message& m : kCatalogue) {
    if (m.number != number) continue;
    print_line(ListLine().text(m.first).str());
    if (m.second) {
      print_line("");
      print_line(ListLine().text(m.second).str());
    }
    print_line("");
    break;
  }
  std::fflush(stdout);
}

void refuse_run(int32_t number) {
  WARN_ERROR(number);
  throw RunRefused{number};
}

}  // namespace tarvex
