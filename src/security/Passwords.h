#pragma once

#include "db/PasswordStore.h"

#include <QString>
#include <cstddef>
#include <optional>

namespace kovrin::security {

// A salted Argon2id hash of a password (libsodium's crypto_pwhash_str); empty when it
// could not be made (libsodium unavailable or out of memory).
QString hashPassword(const QString& password);
// True when a stored value is such a hash rather than clear text.
bool isHashed(const QString& stored);

// The cost of the hashes made from now on: libsodium's moderate limits. Tests may lower it.
struct HashStrength {
    unsigned long long opsLimit;
    std::size_t memLimit;
};
HashStrength hashStrength();
void setHashStrength(const HashStrength& strength);

// True when a stored hash was made with other limits than hashes are made now (an older,
// weaker hash): it is made again from the password at its next correct entry.
bool needsRehash(const QString& stored);

// True for the PC software's passwords, which are stored hashed.
inline bool isSoftwarePassword(PasswordColumn c) {
    return c == PasswordColumn::Admin || c == PasswordColumn::User;
}

// What is stored for a new password: the trimmed lower-case text, hashed for the PC
// software's passwords, in clear for the terminal's. nullopt when the hash could not be made.
std::optional<QString> storedFormOf(PasswordColumn column, const QString& newPassword);

// The password entry's check: what was typed, exactly (no trimming, no case folding),
// against the stored administrator password. A clear-text stored value is compared with
// its lower-case form; an empty stored value accepts only an empty entry.
bool matchesEntry(const QString& stored, const QString& typed);

// Password maintenance's check of the old password: the lower-case form of what was typed
// against the stored value (lower-cased when it is clear text).
bool matchesOld(const QString& stored, const QString& typedOld);

}  // namespace kovrin::security
