// libFuzzer target: whatever a peer sends the device server or its clients.
// The decoder refuses or accepts each frame whole; what it accepts encodes
// again to a frame that decodes to the same bytes.
#include "remote/wire.h"

#include <cstdlib>

using namespace tsim::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Decoder d;
    // Fed in two pieces, as a socket may deliver it.
    const size_t half = size / 2;
    d.feed(reinterpret_cast<const char *>(data), half);
    std::vector<Message> got;
    while (auto m = d.next())
        got.push_back(std::move(*m));
    d.feed(reinterpret_cast<const char *>(data) + half, size - half);
    while (auto m = d.next())
        got.push_back(std::move(*m));
    for (const Message &m : got) {
        std::string once, twice;
        encode(m, once);
        Decoder again;
        again.feed(once.data(), once.size());
        auto back = again.next();
        if (!back || !again.error().empty() || again.buffered() != 0)
            std::abort();   // what was accepted must encode to something acceptable
        encode(*back, twice);
        if (once != twice)
            std::abort();
    }
    return 0;
}
