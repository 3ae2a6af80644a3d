#include "io/control_file.hpp"

#include <utility>

namespace tarvex {

// Reads the records in order; after the first error every later value holds
// that error.
class ControlParser {
 public:
  explicit ControlParser(RecordReader& rd) : rd_(rd) {}

  template <class T, class F>
  void take(ControlValue<T>& v, F&& read) {
    if (error_) {
      v.error_ = error_;
      return;
    }
    try {
      read(rd_, v.value_);
      v.record_ = rd_.record();
    } catch (const InputError& e) {
      error_ = std::make_shared<const InputError>(e);
      v.error_ = error_;
    }
  }

  // A label record (or n records before it), then the value.
  template <class T, class F>
  void next(ControlValue<T>& v, F&& read, int32_t n = 1, std::string_view what = "a label record") {
    skip(n, what);
    take(v, std::forward<F>(read));
  }

  // n values, the reader of value k from read(k). The first error ends the
  // list; the items past it hold that error.
  template <class T, class F>
  void take_list(ControlList<T>& list, int32_t n, F&& read) {
    for (int32_t k = 1; k <= n && !error_; ++k) {
      list.items_.emplace_back();
      take(list.items_.back(), read(k));
    }
    list.rest_.error_ = error_ ? error_
                               : std::make_shared<const InputError>("file '" + rd_.name() + "': only " +
                                                                    std::to_string(list.size()) + " values listed");
  }

  void skip(int32_t n, std::string_view what = "a label record") {
    if (error_) return;
    try {
      rd_.skip(n, what);
    } catch (const InputError& e) {
      error_ = std::make_shared<const InputError>(e);
    }
  }

  bool failed() const { return error_ != nullptr; }

 private:
  RecordReader& rd_;
  std::shared_ptr<const InputError> error_;
};

namespace {

auto name30(std::string what) {
  return [w = std::move(what)](RecordReader& r, std::string& out) { out = r.name30(w); };
}
auto name_item(std::string what) {
  return [w = std::move(what)](RecordReader& r, std::string& out) { out = r.name_item(w); };
}
auto one_value(std::string what) {
  return [w = std::move(what)](RecordReader& r, auto& out) { r.values(w, out); };
}
auto cell(std::string what) {
  return [w = std::move(what)](RecordReader& r, Cell& out) { r.values(w, out.i, out.j); };
}

void parse_observed(RecordReader& rd, ControlFile::Observed& o) {
  ControlParser p(rd);
  p.skip(3);
  p.take(o.file, name_item("the name of the observed discharge file"));
  p.next(o.header_records, one_value("the number of header records of the observed discharge file"));
  p.next(o.values, one_value("the number of observed discharge values"));
}

void parse_terrain(RecordReader& rd, ControlFile::Terrain& t) {
  ControlParser p(rd);
  p.next(t.dem, name30("the DEM file name (record 12)"), 11, "the records before the DEM file name (record 12)");
  p.next(t.grid, cell("the grid size NI, NJ (record 18)"), 5, "the records before the grid size (record 18)");
  p.next(t.outlet, cell("the outlet cell OUTLET_I, OUTLET_J (record 46)"),
         27, "the records before the outlet cell (record 46)");
  p.next(t.directions, name30("the direction file name (record 52)"),
         5, "the records before the direction file name (record 52)");
  p.next(t.n_exempt, one_value("the number of cells exempt from pit raising"),
         1, "the label record before the number of exempt cells");
  p.skip(1, "the label record before the exempt cells");
  const int32_t n = t.n_exempt.ok() ? *t.n_exempt : 0;
  p.take_list(t.exempt, n, [](int32_t k) { return cell("row and column of exempt cell " + std::to_string(k)); });
  p.next(t.elevation, name30("the pit-free elevation file name"),
         1, "the marker record before the pit-free elevation file name");
  p.next(t.area, name30("the contributing-area file name"),
         1, "the label record before the contributing-area file name");
  p.next(t.links, name30("the link-property file name"), 1, "the label record before the link-property file name");
  // Record 20 on its own: an error there concerns only a pass that needs it.
  rd.rewind();
  ControlParser q(rd);
  q.skip(19, "the records before the cell sizes (record 20)");
  q.take(t.cell_size, [](RecordReader& f, std::pair<float, float>& v) {
    f.values("CELL_DX, CELL_DY, the cell sizes in m (record 20)", v.first, v.second);
  });
}

void parse_run(RecordReader& rd, ControlFile::Run& r, bool continuous) {
  ControlParser p(rd);
  p.skip(9);
  p.take(r.start, [](RecordReader& f, std::vector<int32_t>& v) {
    v.assign(3, 0);
    f.values("START_DAY, START_MONTH, START_YEAR", v[0], v[1], v[2]);
  });
  p.skip(3);
  p.take(r.n_data, one_value("N_DATA, the number of records of the rain series"));
  p.next(r.dt_rain, one_value("DT_RAIN, the time step of the records in s"));
  p.next(r.grid, cell("NI, NJ, the rows and columns of the grids"));
  p.next(r.cell_size, [](RecordReader& f, std::pair<float, float>& v) {
    f.values("CELL_DX, CELL_DY, the cell sizes in m", v.first, v.second);
  });
  p.next(r.dt_sim, one_value("DT_SIM, the simulation time step in s"));
  p.next(r.a_channel, one_value("A_CHANNEL, the channel threshold area in km2"));
  p.next(r.wd_hill, one_value("WD_HILL, the hillslope width-to-depth ratio"));
  p.next(r.nclass, one_value("NCLASS, the number of roughness classes"));
  p.skip(1);
  const int32_t nclass = r.nclass.ok() ? *r.nclass : 0;
  p.take(r.ks_class, [nclass](RecordReader& f, std::vector<float>& v) {
    ListRead lr = f.read("the Strickler coefficients of the roughness classes");
    for (int32_t k = 1; k <= nclass; ++k) v.push_back(lr.f32());
    lr.finish();
  });
  p.next(r.roughness, name_item("the name of the roughness-class file"));
  p.next(r.channel, [](RecordReader& f, std::vector<float>& v) {
    v.assign(3, 0.0f);
    f.values("WD_CHAN, KS_CHAN_TOP, KS_CHAN_OUT", v[0], v[1], v[2]);
  });
  p.next(r.k_sub, one_value("K_SUB, the subsurface celerity per unit slope in m/s"));
  p.next(r.w_sub, one_value("W_SUB, the subsurface flow width in m"));
  p.next(r.tau_sub, one_value("TAU_SUB, the time constant of the subsurface store in s"));
  p.next(r.f_sub_cap, one_value("F_SUB_CAP, the subsurface capacity factor"));
  p.next(r.ia_ratio, one_value("IA_RATIO, the initial-abstraction ratio"));
  p.next(r.outlet, cell("OUTLET_I, OUTLET_J, the outlet cell"));
  p.next(r.impervious, one_value("IMPERVIOUS"));
  p.next(r.interp_method, one_value("INTERP_METHOD"));
  p.next(r.directions, name30("the name of the direction file"));
  p.take(r.elevation, [](RecordReader& f, std::string& out) {
    f.find_marker("A51");
    out = f.name30("the name of the pit-free elevation file");
  });
  p.next(r.area, name30("the name of the contributing-area file"));
  p.next(r.links, name30("the name of the link-property file"));
  p.skip(1);
  // An impervious event run skips this record; the name is read all the same.
  p.take(r.curve_numbers, name30("the name of the curve-number file"));
  p.next(r.rain, name30("the name of the rain file"));
  if (continuous) {
    p.next(r.temperature, name30("the name of the temperature file"));
  } else {
    p.skip(2);
  }
  p.next(r.n_sections, one_value("N_SECTIONS, the number of output cross-sections"));
  p.skip(1);
  const int32_t n = r.n_sections.ok() ? *r.n_sections : 0;
  p.take_list(r.sections, n, [](int32_t) { return cell("SECTION_I, SECTION_J, the output cross-section cell"); });
}

}  // namespace

ControlFile::Output ControlFile::read_output(RecordReader& rd, int32_t sections) {
  Output o;
  ControlParser p(rd);
  p.take(o.marker, [](RecordReader& f, bool& found) {
    f.find_marker("A67");
    found = true;
  });
  p.take_list(o.discharge_files, sections, [](int32_t k) {
    return name_item("the name of the discharge file of cross-section " + std::to_string(k));
  });
  if (sections <= 0) return o;
  p.next(o.components, one_value("the flow components of the discharge file (1 = total only)"));
  p.next(o.kind, one_value("the kind of discharge output (1 = time series)"));
  return o;
}

ControlFile ControlFile::parse(RecordReader text, int32_t mode) {
  ControlFile c;
  c.name_ = text.name();
  if (mode == 1) {
    parse_terrain(text, c.terrain);
    return c;
  }
  parse_observed(text, c.observed);
  text.rewind();
  parse_run(text, c.run, mode == 3 || mode == 4);
  text.rewind();
  c.output = read_output(text, c.run.n_sections.ok() ? *c.run.n_sections : 0);
  return c;
}

std::optional<ControlFile> ControlFile::read(const std::filesystem::path& path, int32_t mode) {
  auto text = RecordReader::try_open(path);
  if (!text) return std::nullopt;
  return parse(std::move(*text), mode);
}

void ControlFile::refuse(int32_t record, std::string_view what) const {
  throw InputError("file '" + name_ + "': record " + std::to_string(record) + ": " + std::string(what));
}

}  // namespace tarvex
