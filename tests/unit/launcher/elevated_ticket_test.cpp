// The elevated run's one argument: obeyed only as it is made, with nothing beside it.
#include "launcher/elevated_ticket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace launcher {
namespace {

TEST(ElevatedTicket, TheArgumentMadeForATicketReadsBackAsThatTicket) {
  const std::uint64_t ticket = 0x0123456789ABCDEFull;
  const std::wstring argument(ElevatedRunArgument(ticket).view());
  EXPECT_EQ(argument, L"/TarnbyElevatedRun:0123456789ABCDEF");
  for (const std::wstring program : {L"\"C:\\Users\\ann\\Downloads\\Tarnby Setup.exe\"", L"setup.exe"}) {
    std::uint64_t read = 0;
    EXPECT_TRUE(ReadElevatedRunArgument(std::wstring(program).append(L" ").append(argument).append(L"  "), read));
    EXPECT_EQ(read, ticket);
  }
  EXPECT_EQ(std::wstring(HandshakeName(ticket, L"Ready").view()), L"Local\\TarnbyTarLoom64Setup.0123456789ABCDEF.Ready");
}

TEST(ElevatedTicket, AnythingElseIsNoTicket) {
  const std::wstring argument(ElevatedRunArgument(42).view());
  std::uint64_t read = 7;
  const std::wstring other = L" /other";
  const std::vector<std::wstring> lines = {
           L"launcher.exe",                                   // no argument
           L"launcher.exe /TarnbyElevatedRun:",               // no number
           L"launcher.exe /TarnbyElevatedRun:00000000000002a",  // a digit short
           L"launcher.exe /TarnbyElevatedRun:000000000000002a",  // lower case
           L"launcher.exe /TarnbyElevatedRun:000000000000002A0",  // a digit more
           std::wstring(L"launcher.exe /other ").append(argument),  // two arguments
           std::wstring(L"launcher.exe ").append(argument).append(other),
           std::wstring(L"\"C:\\no close quote ").append(argument),
           std::wstring(L"\"C:\\Tarnby ").append(argument).append(L"\""),  // inside the program's name
       };
  for (const std::wstring& line : lines) {
    EXPECT_FALSE(ReadElevatedRunArgument(line, read)) << std::string(line.begin(), line.end());
  }
  EXPECT_EQ(read, 7u);
}

}  // namespace
}  // namespace launcher
