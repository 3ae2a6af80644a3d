#pragma once
// Free-format (list-directed) reader shared by every input file.
//
// Reading rules:
//  - values are separated by blanks, tabs or commas;
//  - every read starts at the beginning of the next unread record (line),
//    takes as many records as it needs and ignores the rest of its last one;
//  - a read of no values skips one record;
//  - a file name is either the first 30 columns of its record (trailing
//    blanks dropped) or the first free-format item (a word or a quoted text).
// Every failure throws InputError naming the file, the record and what was
// expected.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/input_error.hpp"

namespace tarvex {

class RecordReader;

// One list-directed read in progress. Values are taken in order; finish()
// ends the read (consuming one record if no value was taken).
class ListRead {
 public:
  ListRead(RecordReader& reader, std::string_view what);
  ListRead(const ListRead&) = delete;
  ListRead& operator=(const ListRead&) = delete;

  int32_t i32();
  float f32();
  double f64();
  std::string text();  // word or quoted text

  void get(int32_t& v) { v = i32(); }
  void get(float& v) { v = f32(); }
  void get(double& v) { v = f64(); }
  void get(std::string& v) { v = text(); }

  void finish();
  // Changes what a failure names from here on (long reads: the row reached).
  void set_what(std::string_view what) { what_.assign(what); }

 private:
  std::string_view next_token(const char* kind);
  [[noreturn]] void bad_value(std::string_view token, const char* kind);

  RecordReader& rd_;
  std::string what_;
  bool started_ = false;
};

class RecordReader {
 public:
  // Opens an existing file for reading; throws InputError when it cannot.
  explicit RecordReader(const std::filesystem::path& path);
  // Returns nothing when the file cannot be opened.
  static std::optional<RecordReader> try_open(const std::filesystem::path& path);

  // Builds a reader on text held in memory (tests, fuzzing).
  static RecordReader from_text(std::string text, std::string name);

  const std::string& name() const { return name_; }
  // Number of records consumed so far (the last record read).
  int32_t record() const { return rec_; }
  bool at_end() const { return pos_ >= data_.size(); }
  // True when every record left holds only blanks.
  bool rest_is_blank() const { return data_.find_first_not_of(" \t\r\n,", pos_) == std::string::npos; }
  // The next unread record without its line end (empty at the end); consumes nothing.
  std::string_view peek() const;

  // Skips n records whole; the file must hold them.
  void skip(int32_t n, std::string_view what = "a label record");
  void skip() { skip(1); }
  void rewind();
  // Counts and consumes the records from here to the end of the file.
  int32_t count_records();

  ListRead read(std::string_view what) { return ListRead(*this, what); }

  // One read of the given variables, in order.
  template <class... T>
  void values(std::string_view what, T&... out) {
    ListRead r(*this, what);
    (r.get(out), ...);
    r.finish();
  }
  // One read of n values into dst[0..n-1].
  void row(float* dst, int32_t n, std::string_view what);
  void row(int32_t* dst, int32_t n, std::string_view what);

  // File name taken as the first 30 columns of the next record.
  std::string name30(std::string_view what);
  // File name taken as the first free-format item, cut to 30 characters.
  std::string name_item(std::string_view what);
  // Reads records until one whose first item, cut or blank-padded to three
  // characters, equals marker; the marker record is consumed.
  void find_marker(std::string_view marker);

  [[noreturn]] void fail(std::string_view message) const;

 private:
  friend class ListRead;
  RecordReader() = default;
  // Loads the next record into line_; false at end of file.
  bool next_record();

  std::string name_;
  std::string data_;
  std::size_t pos_ = 0;      // start of the next unread record
  std::string_view line_;    // current record, without its line end
  std::size_t cursor_ = 0;   // position inside line_
  int32_t rec_ = 0;
};

}  // namespace tarvex
