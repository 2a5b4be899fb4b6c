// Password hashing of dictionary users (see password_hash.h) over libsodium's Argon2id.
#include "engine/dict/password_hash.h"

#include <sodium.h>

#include "engine/core/error.h"
#include "engine/dict/secret.h"
#include "varelum_engine.h"

namespace varelum::engine {

std::string hash_password(std::string_view password) {
    start_sodium();
    char hash[crypto_pwhash_STRBYTES];
    // The interactive cost: a log-in should answer at once, yet each guess costs real memory.
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        fail(VE_OUT_OF_MEMORY, "hashing a password");
    }
    return std::string(hash);
}

bool password_matches(std::string_view stored_hash, std::string_view password) {
    start_sodium();
    std::string terminated(stored_hash);
    return crypto_pwhash_str_verify(terminated.c_str(), password.data(), password.size()) == 0;
}

}  // namespace varelum::engine
