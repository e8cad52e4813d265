// A published rules file as a client receives it: decoded, verified against a
// key, never accepted unless signed by it.
#include "FuzzInput.h"
#include "parsers/PublishedRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const yz::SigningKeys keys = yz::generateSigningKeys();
    const QByteArray bytes = yzfuzz::bytesOf(data, size);
    QString error;
    if (const auto rules = yz::decodePublishedRules(bytes, &error)) {
        yzfuzz::check(rules->version >= 1, "versions start at 1");
        // Nobody but the key's owner signs: random input never verifies.
        yzfuzz::check(!yz::verifyPublishedRules(*rules, keys.publicKey, &error), "forged file refused");
    }
    return 0;
}
