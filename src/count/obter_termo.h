// ObterTermo: the word at a 1-based position of a line of text, as the count uses it to take an
// employee's first name for the status bar and the audit row.
#pragma once

#include <string>

namespace varelum::count {

// Returns the APosicao-th piece (counting from 1) of ALinha cut at every occurrence of
// ASeparador (matched without regard to case) and at every line break already in ALinha
// (CR, LF or CR LF). A break at the very end starts no further piece. A position past the last
// piece, or below 1, gives empty text; so does an empty ALinha. An empty separator cuts nothing.
// ObterTermo(1, " ", "MARIA DA SILVA") is "MARIA"; a name that begins with a space gives "".
std::string ObterTermo(int APosicao, const std::string& ASeparador, const std::string& ALinha);

}  // namespace varelum::count
