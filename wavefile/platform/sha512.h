// SHA-512 from the system's own cryptography: CNG on Windows, CommonCrypto on macOS, OpenSSL's
// libcrypto elsewhere.
#pragma once

#include <array>
#include <string_view>

using Sha512Digest = std::array<unsigned char, 64>;

// The digest of bytes; throws std::runtime_error where the system's library fails.
Sha512Digest sha512(std::string_view bytes);
