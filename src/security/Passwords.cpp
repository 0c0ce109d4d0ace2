#include "security/Passwords.h"

#include <sodium.h>

namespace kovrin::security {

namespace {

// libsodium's moderate limits: a guess costs about 256 MB and most of a second.
HashStrength g_strength{crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool verifyHash(const QString& stored, const QString& password) {
    if (!sodiumReady()) {
        return false;
    }
    const QByteArray hash = stored.toUtf8();
    const QByteArray pw = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), pw.constData(),
                                    static_cast<unsigned long long>(pw.size())) == 0;
}

}  // namespace

QString hashPassword(const QString& password) {
    if (!sodiumReady()) {
        return {};
    }
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()),
                          g_strength.opsLimit, g_strength.memLimit) != 0) {
        return {};  // out of memory
    }
    return QString::fromLatin1(out);
}

bool isHashed(const QString& stored) {
    return stored.startsWith(QLatin1String("$argon2"));
}

HashStrength hashStrength() {
    return g_strength;
}

void setHashStrength(const HashStrength& strength) {
    g_strength = strength;
}

bool needsRehash(const QString& stored) {
    if (!isHashed(stored) || !sodiumReady()) {
        return false;
    }
    const QByteArray hash = stored.toLatin1();
    // 1: made with other limits; -1: not a hash of this kind (made by another algorithm).
    return crypto_pwhash_str_needs_rehash(hash.constData(), g_strength.opsLimit,
                                          g_strength.memLimit) != 0;
}

std::optional<QString> storedFormOf(PasswordColumn column, const QString& newPassword) {
    const QString plain = newPassword.trimmed().toLower();
    if (!isSoftwarePassword(column)) {
        return plain;
    }
    QString hash = hashPassword(plain);
    if (hash.isEmpty()) {
        return std::nullopt;
    }
    return hash;
}

bool matchesEntry(const QString& stored, const QString& typed) {
    if (isHashed(stored)) {
        return verifyHash(stored, typed);
    }
    return typed == stored.toLower();
}

bool matchesOld(const QString& stored, const QString& typedOld) {
    const QString typed = typedOld.toLower();
    if (isHashed(stored)) {
        return verifyHash(stored, typed);
    }
    return typed == stored.toLower();
}

}  // namespace kovrin::security
