#pragma once

// A statistics record's request body as the servers read it: Base64, then AES-128-ECB under the
// record key.

#include <QByteArray>

#include <cstdlib>
#include <string>

#include "AesBuffer.h"
#include "Base64.h"

namespace pravix::test
{

inline std::string openRecord(const QByteArray& body)
{
    const std::string cipher = Base64Decode(body.constData(), std::size_t(body.size()));
    uint8_t* plain = nullptr;
    std::size_t length = 0;
    if (AesDecryptBuffer(reinterpret_cast<const uint8_t*>(cipher.data()), cipher.size(), &plain, &length,
                         reinterpret_cast<const uint8_t*>("Kvl@Rp#555#NORTH")) != 0)
        return "<not decryptable>";
    std::string text(reinterpret_cast<const char*>(plain), length);
    std::free(plain);
    return text;
}

} // namespace pravix::test
