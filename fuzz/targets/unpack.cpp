// updater::Unpack on any container, and Unpack(Pack(x)) == x for any content.
#include "FuzzSupport.h"

#include "updater/files/Packing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    if (const auto out = updater::Unpack(bytes)) {
        if (bytes.empty()) {
            FUZZ_CHECK(out->empty());
        } else {
            // What it gives is exactly the length its header declares.
            std::uint32_t declared = 0;
            for (int i = 3; i >= 0; --i)
                declared =
                    declared << 8 | static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
            FUZZ_CHECK(out->size() == declared);
            FUZZ_CHECK(static_cast<std::int64_t>(declared) <= updater::kMaxFileSize);
            const auto again = updater::Unpack(updater::Pack(*out));
            FUZZ_CHECK(again && *again == *out);
        }
    }

    const auto roundTrip = updater::Unpack(updater::Pack(bytes));
    FUZZ_CHECK(roundTrip.has_value());
    FUZZ_CHECK(*roundTrip == bytes);
    return 0;
}
