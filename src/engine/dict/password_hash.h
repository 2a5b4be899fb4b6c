// Salted password hashes of a data dictionary's users. A hash is libsodium's self-describing
// text (algorithm, its cost, salt and digest), so a stored hash stays verifiable when the
// cost chosen for new hashes changes. A password itself is never stored or logged.
#pragma once

#include <string>
#include <string_view>

namespace varelum::engine {

// A new hash of password with a fresh random salt. Throws VE_OUT_OF_MEMORY when the hashing
// cannot get its memory.
std::string hash_password(std::string_view password);

// Whether password is the one hashed in stored_hash; false for a malformed hash.
bool password_matches(std::string_view stored_hash, std::string_view password);

}  // namespace varelum::engine
