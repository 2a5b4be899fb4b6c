// The CSV reader and writer (see csv.h).
#include "csv.h"

#include "store_error.h"

namespace varelum::store {

namespace {

constexpr int kEnd = std::char_traits<char>::eof();

[[noreturn]] void malformed(std::size_t line, const std::string& why) {
    throw StoreError("line " + std::to_string(line) + ": " + why);
}

}  // namespace

CsvReader::CsvReader(std::istream& input) : input_(input.rdbuf()) {}

int CsvReader::get() {
    return input_ == nullptr ? kEnd : input_->sbumpc();
}

int CsvReader::peek() {
    return input_ == nullptr ? kEnd : input_->sgetc();
}

// Consumes the rest of a line end that began with c (CR LF counts as one).
void CsvReader::end_line(int c) {
    if (c == '\r' && peek() == '\n') {
        get();
    }
    ++line_;
}

std::optional<CsvRow> CsvReader::next() {
    if (at_start_) {
        at_start_ = false;
        // A UTF-8 byte-order mark, as some spreadsheets write one.
        if (peek() == 0xEF) {
            get();
            if (get() != 0xBB || get() != 0xBF) {
                malformed(1, "the file starts with a broken byte-order mark");
            }
        }
    }
    while (true) {
        int c = peek();
        if (c == kEnd) {
            return std::nullopt;
        }
        if (c != '\r' && c != '\n') {
            break;
        }
        end_line(get());  // an empty line
    }

    CsvRow row;
    row.line = line_;
    std::string cell;
    while (true) {
        int c = get();
        if (c == '"' && cell.empty()) {
            // A quoted cell: up to the closing quote, which a comma, a line end or the end of
            // the input must follow.
            const std::size_t opened = line_;
            while (true) {
                c = get();
                if (c == kEnd) {
                    malformed(opened, "a quoted value is never closed");
                }
                if (c == '"') {
                    if (peek() == '"') {
                        get();
                        cell += '"';
                        continue;
                    }
                    break;
                }
                if (c == '\n' || (c == '\r' && peek() != '\n')) {
                    ++line_;
                } else if (c == '\r') {
                    cell += '\r';
                    c = get();
                    ++line_;
                }
                cell += static_cast<char>(c);
            }
            c = get();
            if (c != ',' && c != '\r' && c != '\n' && c != kEnd) {
                malformed(line_, "text after the closing quote of a value");
            }
        } else {
            while (c != ',' && c != '\r' && c != '\n' && c != kEnd) {
                if (c == '"') {
                    malformed(line_, "a quote inside a value that is not quoted");
                }
                cell += static_cast<char>(c);
                c = get();
            }
        }
        row.cells.push_back(std::move(cell));
        cell.clear();
        if (c == ',') {
            continue;
        }
        if (c != kEnd) {
            end_line(c);
        }
        return row;
    }
}

std::string csv_cell(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

void CsvWriter::write_row(const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            output_ << ',';
        }
        output_ << csv_cell(cells[i]);
    }
    output_ << "\r\n";
}

}  // namespace varelum::store
