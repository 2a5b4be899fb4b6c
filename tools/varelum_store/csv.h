// CSV as RFC 4180 writes it: cells separated by commas, rows ended by CR LF (LF alone and CR
// alone are read as row ends too), a cell in double quotes when it holds a comma, a quote or a
// line break, and a quote inside a quoted cell doubled. Text is UTF-8; a byte-order mark at
// the start of the input is skipped.
//
// The reader streams: it holds one row at a time, so a file of any size can be imported.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace varelum::store {

struct CsvRow {
    std::vector<std::string> cells;
    std::size_t line = 0;  // the line of the input on which the row starts (1 is the first)
};

class CsvReader {
  public:
    explicit CsvReader(std::istream& input);

    // The next row, or nothing at the end of the input. Rows that are completely empty (no
    // character before their line end) are passed over. A malformed row (a quote that is never
    // closed, text after a closing quote, a quote inside an unquoted cell) throws StoreError
    // naming its line.
    std::optional<CsvRow> next();

    // The line the reader has reached (for messages about the input as a whole).
    std::size_t line() const noexcept { return line_; }

  private:
    int get();
    int peek();
    void end_line(int c);

    std::streambuf* input_;
    std::size_t line_ = 1;
    bool at_start_ = true;
};

class CsvWriter {
  public:
    explicit CsvWriter(std::ostream& output) : output_(output) {}

    void write_row(const std::vector<std::string>& cells);

  private:
    std::ostream& output_;
};

// A cell as it stands in a CSV file: quoted when it has to be.
std::string csv_cell(const std::string& value);

}  // namespace varelum::store
