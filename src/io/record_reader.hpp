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
//
// Values a read leaves on its last record (not the words after a file name
// or a marker), and records after the last row of a grid (end_of_grid), are
// counted: the file gets one warning when its reader closes, or an
// InputError at the first of them when unread values are refused
// (io/unread_values.hpp). An error at the end of the file names the first
// record that held fewer values than a whole read needs.
//
// A file is read in chunks as its records are consumed: memory holds the
// current record and one chunk, whatever follows in the file. Records that
// are only skipped or counted are never held whole.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/input_error.hpp"
#include "io/unread_values.hpp"

namespace tarvex {

class RecordReader;

// Items of a record from its start, as the list reading takes them (a
// quoted text is one item).
int64_t count_items(std::string_view line);

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
  // Values left on the current record after the last one taken (none before
  // the first); consumes nothing.
  int32_t left_on_record() const;
  // Moves to the next value over records that hold none; false at the end of
  // the file. The value is then taken by the next get.
  bool seek_value();
  // Changes what a failure names from here on (long reads: the row reached).
  void set_what(std::string_view what) { what_.assign(what); }

 private:
  std::string_view next_token(const char* kind);
  [[noreturn]] void bad_value(std::string_view token, const char* kind);
  [[noreturn]] void out_of_memory();
  [[noreturn]] void ends(const char* kind);

  RecordReader& rd_;
  std::string what_;
  bool started_ = false;
  int32_t first_record_ = 0;  // record the read started on
  int32_t taken_ = 0;         // values taken
  int32_t on_first_ = -1;     // values on the first record, once the read ran past it
  bool first_item_only_ = false;  // a file name or a marker: the rest of its record is no value

  friend class RecordReader;
};

class RecordReader {
 public:
  static constexpr std::size_t kChunk = 64 * 1024;

  // Opens an existing file for reading; throws InputError when it cannot.
  explicit RecordReader(const std::filesystem::path& path);
  // Returns nothing when the file cannot be opened (missing, unreadable, a
  // directory); throws InputError when it is not a regular file.
  static std::optional<RecordReader> try_open(const std::filesystem::path& path);

  // Builds a reader on text held in memory (tests, fuzzing), served in
  // chunks of the given size.
  static RecordReader from_text(std::string text, std::string name, std::size_t chunk = kChunk);

  RecordReader(RecordReader&&) noexcept = default;
  RecordReader& operator=(RecordReader&&) noexcept = default;
  // Writes the warning on values left unread, unless an error is on its way.
  ~RecordReader();

  const std::string& name() const { return name_; }
  // Number of records consumed so far (the last record read).
  int32_t record() const { return rec_; }
  bool at_end();
  // True when every record left holds only blanks.
  bool rest_is_blank();
  // The next unread record without its line end (empty at the end); consumes nothing.
  std::string_view peek();

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

  // Called after the last row of a grid: records after it that are not
  // blank are counted (or refused), then the file's warning is written.
  // grid words the rows, e.g. "the 100 rows of the grid".
  void end_of_grid(std::string_view grid);
  // Writes the warning on the values left unread so far, once.
  void report_unread();

  [[noreturn]] void fail(std::string_view message) const;

 private:
  friend class ListRead;
  // Owns an open file descriptor.
  class Fd {
   public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept;
    ~Fd();
    int get() const { return fd_; }

   private:
    int fd_ = -1;
  };

  RecordReader() = default;
  // Makes the next record current; false at end of file. Unless keep is
  // set the record is only counted, not held.
  bool next_record(bool keep = true);
  // Appends the next chunk of the file to buf_; false at end of file.
  bool fill();
  [[noreturn]] void too_many_records() const;
  // The file ended where `expected` was to be read.
  [[noreturn]] void ends(std::string_view expected) const;
  // Reads up to n bytes from the source; 0 at its end.
  std::size_t read_source(char* dst, std::size_t n);
  // The current record, without its line end.
  std::string_view line() const {
    return std::string_view(buf_).substr(line_begin_, line_end_ - line_begin_);
  }

  std::string name_;
  Fd fd_;                      // the file, or none for text in memory
  std::string text_;           // text in memory
  std::size_t chunk_ = kChunk;
  std::size_t taken_ = 0;      // bytes taken from the source so far
  std::size_t size_ = 0;       // size of the source when opened
  bool eof_ = false;

  std::string buf_;            // bytes from the start of the current record on
  std::size_t pos_ = 0;        // start of the next unread record in buf_
  std::size_t line_begin_ = 0; // current record in buf_
  std::size_t line_end_ = 0;
  std::size_t cursor_ = 0;     // position inside the current record
  int32_t rec_ = 0;

  UnreadTally unread_;
  std::string short_record_;  // the first record holding fewer values than its read, in words
  bool last_read_fit_ = false;  // the last read took its values from one record
};

}  // namespace tarvex
