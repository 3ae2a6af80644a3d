// Fuzz target: the free-format record reader. The first byte gives the number
// of operations and the chunk size the text is served in, the next bytes the
// operations (low four bits: what to read, high four bits: a count); the rest
// is the text read.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "io/record_reader.hpp"

using tarvex::InputError;
using tarvex::RecordReader;
using tarvex::fuzz::bug;

namespace {

// Records of a text as the reader counts them: lines ended by '\n', plus a
// last line without its end.
int32_t records_of(const std::string& text, std::size_t from) {
  int32_t n = 0;
  std::size_t pos = from;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    ++n;
    pos = end == std::string::npos ? text.size() : end + 1;
  }
  return n;
}

void check_real(float v) {
  if (!std::isfinite(v)) bug("the reader returned a non-finite 4-byte real");
}

void check_real(double v) {
  if (!std::isfinite(v)) bug("the reader returned a non-finite real");
}

void run_op(RecordReader& rd, uint8_t op, int32_t& last_record) {
  const int32_t n = op >> 4;
  switch (op & 0x0f) {
    case 0: {
      int32_t a = 0;
      rd.values("an integer", a);
      break;
    }
    case 1: {
      float a = 0.0f, b = 0.0f;
      rd.values("two reals", a, b);
      check_real(a);
      check_real(b);
      break;
    }
    case 2: {
      double a = 0.0;
      rd.values("a double", a);
      check_real(a);
      break;
    }
    case 3: {
      std::string t;
      rd.values("a text", t);
      break;
    }
    case 4: {
      std::vector<float> row(static_cast<std::size_t>(n));
      rd.row(row.data(), n, "a row of reals");
      for (float v : row) check_real(v);
      break;
    }
    case 5: {
      std::vector<int32_t> row(static_cast<std::size_t>(n));
      rd.row(row.data(), n, "a row of integers");
      break;
    }
    case 6:
      if (rd.name30("a file name").size() > 30) bug("name30 gave more than 30 characters");
      break;
    case 7:
      if (rd.name_item("a file name").size() > 30) bug("name_item gave more than 30 characters");
      break;
    case 8:
      rd.find_marker(n % 2 == 0 ? "A51" : "A67");
      break;
    case 9: {
      const int32_t at = rd.record();
      const int32_t counted = rd.count_records();
      if (counted < 0 || rd.record() != at + counted) bug("count_records disagrees with record()");
      if (!rd.at_end()) bug("count_records left records unread");
      break;
    }
    case 10:
      rd.skip(n);
      break;
    case 11:
      rd.rewind();
      if (rd.record() != 0) bug("rewind did not return to record 0");
      last_record = 0;
      return;
    case 12:
      rd.skip(std::numeric_limits<int32_t>::max(), "a huge number of records");
      break;
    case 13: {
      tarvex::ListRead r = rd.read("a mixed read");
      (void)r.i32();
      check_real(r.f32());
      (void)r.text();
      check_real(r.f64());
      r.finish();
      break;
    }
    case 14:
      if (rd.at_end() && !rd.rest_is_blank()) bug("at the end of the text with text left");
      break;
    default: {
      int32_t none[1] = {0};
      rd.row(none, 0, "nothing");
      break;
    }
  }
  if (rd.record() < last_record) bug("the record number went back without a rewind");
  last_record = rd.record();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::size_t nops = data[0] % 33;
  if (size < 1 + nops) return 0;
  const uint8_t* ops = data + 1;
  std::string text(reinterpret_cast<const char*>(data + 1 + nops), size - 1 - nops);

  const std::size_t chunk = data[0] / 33 < 7 ? 1 + data[0] / 33 : RecordReader::kChunk;
  RecordReader rd = RecordReader::from_text(text, "fuzz.txt", chunk);
  const int32_t expected = records_of(text, 0);
  {
    RecordReader counter = RecordReader::from_text(text, "fuzz.txt");
    if (counter.count_records() != expected) bug("count_records miscounts the records of a text");
  }
  int32_t last_record = 0;
  for (std::size_t k = 0; k < nops; ++k) {
    try {
      run_op(rd, ops[k], last_record);
    } catch (const InputError& e) {
      // A refusal names the file.
      if (std::string(e.what()).find("fuzz.txt") == std::string::npos) bug("an InputError without the file name");
      last_record = rd.record();
    }
    if (rd.record() > expected) bug("the record number passed the end of the text");
  }
  return 0;
}
