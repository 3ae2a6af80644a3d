#include "support/tiny_catchment.hpp"

#include "support/testkit.hpp"

namespace tarvex::test {

std::string rain_file(const std::string& positions, int n_gauges, const std::string& records, int skip) {
  std::string t = "Number of rain gauges\n" + std::to_string(n_gauges) + "\nGauge positions (row col)\n" +
                  positions + "Records to skip\n" + std::to_string(skip) + "\nRain series\nlabel g1 g2\n";
  for (int k = 0; k < skip; ++k) t += "skipped record\n";
  return t + records;
}

std::string temp_file(const std::string& records, int n_stations, const std::string& days) {
  return "ET offset and slope\n-1.5 0.3\n"
         "ET monthly coefficients A\n0.5 0.6 0.8 1.0 1.2 1.4 1.5 1.4 1.2 1.0 0.7 0.5\n"
         "ET monthly coefficients B\n1.0 1.0 1.1 1.1 1.2 1.2 1.3 1.3 1.2 1.1 1.0 1.0\n"
         "Days in month\n" + days + "\n"
         "Number of stations\n" + std::to_string(n_stations) + "\n"
         "Station row col elevation\n2 2 500.\n"
         "Records to skip\n0\nTemperature series\nlabel T\n" + records;
}

void write_tiny_catchment(const std::filesystem::path& dir, int n_records) {
  write_file(dir / "dir.txt", "6 6 6 8\n6 6 6 8\n6 6 6 0\n");
  write_file(dir / "elev.txt", "12. 9.5 8. 7.\n9. 8. 7. 6.\n8.6 7. 6. 5.\n");
  write_file(dir / "area.txt", "1 2 3 4\n1 2 3 8\n1 2 3 12\n");
  write_file(dir / "links.txt",
             "   IIN JIN   IFIN JFIN  ORD   LEN\n"
             "    1    1     2    4    1    4.0\n"
             "    2    1     2    4    1    3.0\n"
             "    3    1     3    4    1    3.0\n"
             "    2    4     3    4    2    1.0\n");
  write_file(dir / "rough.txt", "1 1 1 1\n1 1 1 1\n1 1 1 1\n");
  write_file(dir / "cn.txt", "80. 80. 75. 75.\n80. 70. 70. 75.\n85. 85. 80. 80.\n");
  std::string rain, temp;
  for (int n = 1; n <= n_records; ++n) {
    const double a = (n >= 3 && n <= 8) ? 2.0 + n : 0.0;
    const double b = (n >= 4 && n <= 10) ? 1.5 * n : 0.0;
    rain += std::to_string(n) + " " + std::to_string(a) + " " + std::to_string(b) + "\n";
    temp += std::to_string(n) + " " + std::to_string(5.0 + 0.25 * (n % 24)) + "\n";
  }
  write_file(dir / "rain.txt", rain_file("1. 1.\n3. 4.\n", 2, rain));
  write_file(dir / "temp.txt", temp_file(temp));
}

void write_control(const std::filesystem::path& dir, const ControlFileText& ctl) {
  write_file(dir / "Tarvex.in", ctl.render());
}

void write_tiny_run(const std::filesystem::path& dir, const ControlFileText& ctl) {
  write_tiny_catchment(dir);
  write_control(dir, ctl);
}

}  // namespace tarvex::test
