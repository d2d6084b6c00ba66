// Bytes from the HT300 autosampler's line, whatever they are: the answer
// collector must never crash, never hold more than one answer's worth of
// characters, and every answer it accepts must build back to the same
// characters (so nothing unchecked slipped through).

#include <cstdint>
#include <cstdlib>

#include "instruments/wire/ht300_frame.h"

using namespace zelmora::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Ht300AnswerParser parser;
    for (std::size_t i = 0; i < size; ++i) {
        const auto e = parser.feed(data[i]);
        if (e == Ht300AnswerParser::Event::None)
            continue;
        if (parser.lastFrame().size() > kHt300MaxAnswer)
            std::abort();
        if (e == Ht300AnswerParser::Event::Bad)
            continue;
        const Ht300Answer& a = parser.answer();
        if (a.data.size() * 2 + kHt300HeaderLength > kHt300MaxAnswer)
            std::abort();
        const std::string again = buildHt300Answer(a.command, a.error, a.mode, a.bits, a.data);
        Ht300Answer b;
        if (parseHt300Frame(again.substr(0, again.size() - 2), b) != Ht300Fault::None ||
            b.command != a.command || b.error != a.error || b.mode != a.mode || b.bits != a.bits ||
            b.data != a.data)
            std::abort();
    }
    return 0;
}
