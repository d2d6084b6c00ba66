#pragma once
// The HT300 autosampler's frames: ASCII lines, the same layout both ways.
//
//   pos 0      '$'
//   pos 1-2    command, two hexadecimal digits
//   pos 3-10   "00000000" in requests; in answers the error byte, the
//              sampler's mode and two bytes of status bits
//   pos 11-14  length: the position of the last checksum character
//   pos 15...  data bytes, two hexadecimal digits each
//   then       checksum, two hexadecimal digits: XOR of every character
//              from position 1 to the one before the checksum
//   then       CR LF
//
// A request with n data bytes therefore has the length 2n + 16 (command 5
// without data: "0010"). Answers are collected from a '$' up to CR, at most
// 256 characters, and accepted only when their length field, their
// hexadecimal digits and their checksum agree.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora::wire {

inline constexpr char kHt300Start = '$';
inline constexpr std::size_t kHt300MaxAnswer = 256;
// Characters of a frame without data, up to its last checksum character.
inline constexpr std::size_t kHt300HeaderLength = 17;

// The request of a command (0-255) with its data bytes, CR LF included.
std::string buildHt300Request(int command, const std::vector<std::uint8_t>& data = {});

// The answer of the sampler (the simulator's side): command echoed, error
// byte, mode, status bits and data.
std::string buildHt300Answer(int command, int error, int mode, int bits,
                             const std::vector<std::uint8_t>& data = {});

// XOR of the characters of `frame` from position 1 up to (not including)
// position `end`.
std::uint8_t ht300Checksum(std::string_view frame, std::size_t end);

struct Ht300Answer {
    int command = 0;
    int error = 0;  // error bits: 1 checksum, 2 length, 4 impossible, 8 command, 16 data
    int mode = 0;   // the sampler's mode (status byte)
    int bits = 0;   // status bits
    std::vector<std::uint8_t> data;
};

// Why a collected frame was refused.
enum class Ht300Fault { None, TooLong, Short, Length, Digits, Checksum };
const char* ht300FaultText(Ht300Fault f);

// Checks and decodes one frame from '$' up to (not including) CR.
Ht300Fault parseHt300Frame(std::string_view frame, Ht300Answer& out);

// Collects answers from the sampler's byte stream. Bytes outside a frame
// (LF, noise) are ignored; a '$' inside a frame starts it anew; a frame
// longer than 256 characters is refused and dropped.
class Ht300AnswerParser {
  public:
    enum class Event { None, Answer, Bad };
    Event feed(std::uint8_t byte);
    const Ht300Answer& answer() const { return answer_; }
    Ht300Fault fault() const { return fault_; }
    // The refused frame's characters (for the work log).
    const std::string& lastFrame() const { return frame_; }

  private:
    std::string buf_;
    bool inFrame_ = false;
    std::string frame_;
    Ht300Answer answer_;
    Ht300Fault fault_ = Ht300Fault::None;
};

// The same collector for requests (the simulator reads the program's
// commands with it); a request's header positions 3-10 are ignored.
using Ht300RequestParser = Ht300AnswerParser;

}  // namespace zelmora::wire
