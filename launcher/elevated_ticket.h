// The one argument the launcher starts its elevated run with, and the names of the two objects
// by which the two runs meet. Portable: the parsing is tested natively.
//
// The argument carries a ticket number; the run that starts the elevated one makes both objects
// under it first, with an access list for itself and the administrators only, and a number
// someone made objects under already is never used. Only an elevated process obeys the
// argument: for any other it changes nothing, like every other argument.
#pragma once

#include <cstdint>
#include <string_view>

#include "win32/fixed_text.h"

namespace launcher {

inline constexpr std::wstring_view kElevatedRunSwitch = L"/TarnbyElevatedRun:";

using TicketText = win32::WideText<64>;

// The argument for `ticket`: the switch and its 16 hexadecimal digits.
TicketText ElevatedRunArgument(std::uint64_t ticket);

// The ticket in `commandLine` (the process's whole command line: the program, quoted or not,
// then its arguments) when its one argument is the elevated run's; false for anything else
// (no argument, another one, more than one, a number that is not 16 hexadecimal digits).
bool ReadElevatedRunArgument(std::wstring_view commandLine, std::uint64_t& ticket);

// "Local\TarnbyTarLoom64Setup.<ticket>.<what>": per session, as both runs are in the same one.
TicketText HandshakeName(std::uint64_t ticket, std::wstring_view what);

}  // namespace launcher
