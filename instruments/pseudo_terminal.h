#pragma once
// A pseudo-terminal pair standing in for a serial cable: the instrument
// simulator reads and writes the master side, a driver opens the slave path
// as it would open /dev/ttyS0. The slave side is kept open here so that the
// line survives a driver closing and reopening it; it starts as a cooked
// terminal with echo off, so a driver that did not switch it to raw mode
// would lose control bytes.

#include <string>

#include "app/result.h"

namespace zelmora {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    Status open();
    void close();
    bool isOpen() const { return master_ >= 0; }
    // Non-blocking master descriptor.
    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace zelmora
