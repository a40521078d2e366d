// SHA-256 of bytes as they stream, so a saved picture's checksum costs no
// second read. On OpenSSL's libcrypto (which libcurl brings already), whose
// code uses the processor's SHA instructions where it has them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace lumora {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::string_view bytes);
    // 64 lower-case hex digits; the hash is done afterwards.
    std::string HexDigest();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

// The checksum of a whole byte string.
std::string Sha256Hex(std::string_view bytes);

}  // namespace lumora
