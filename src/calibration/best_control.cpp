#include "calibration/best_control.hpp"

#include <charconv>
#include <vector>

#include "io/control_edit.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

std::string write_best_control(const ControlFile& ctl, std::span<const double> x, const std::string& out) {
  const std::optional<std::string> text = read_whole_file(ctl.name());
  if (!text) return "file '" + ctl.name() + "' cannot be read again";
  const ControlFile::Run& r = ctl.run;
  std::vector<ItemEdit> edits;
  std::string why;
  // Item `item` of the value's record must read back as the value taken.
  auto put = [&](int32_t record, int32_t item, float read, std::size_t k, const std::string& what) {
    if (!why.empty()) return;
    const std::optional<std::string> old = list_item(*text, record, item);
    float f = 0.0f;
    const auto res = old ? std::from_chars(old->data(), old->data() + old->size(), f) : std::from_chars_result{};
    if (!old || res.ec != std::errc() || res.ptr != old->data() + old->size() || f != read) {
      why = "record " + std::to_string(record) + " of '" + ctl.name() + "' does not hold " + what + " as its value " +
            std::to_string(item);
      return;
    }
    edits.push_back({record, item, shortest(static_cast<float>(x[k]))});
  };
  put(r.a_channel.record(), 1, *r.a_channel, 0, "A_CHANNEL");
  put(r.wd_hill.record(), 1, *r.wd_hill, 1, "WD_HILL");
  // Classes beyond NCLASS have no value in the file; no cell uses them.
  const std::vector<float>& ks = *r.ks_class;
  for (std::size_t c = 0; c < ks.size() && c < 3; ++c) {
    put(r.ks_class.record(), static_cast<int32_t>(c + 1), ks[c], 2 + c,
        "the Strickler coefficient of class " + std::to_string(c + 1));
  }
  put(r.k_sub.record(), 1, *r.k_sub, 5, "K_SUB");
  put(r.tau_sub.record(), 1, *r.tau_sub, 6, "TAU_SUB");
  put(r.f_sub_cap.record(), 1, *r.f_sub_cap, 7, "F_SUB_CAP");
  put(r.ia_ratio.record(), 1, *r.ia_ratio, 8, "IA_RATIO");
  if (!why.empty()) return why;
  TextWriter w(out);
  w.raw(replace_list_items(*text, edits));
  w.close();
  return "";
}

}  // namespace tarvex
