// The elevated run and the run as the user that starts it: two named objects, made by the run
// as the user under a ticket (elevated_ticket.h), through which the elevated run says that its
// setup.exe is ready and waits for the go-ahead.
#pragma once

#include <windows.h>

#include "launcher/finish.h"
#include "win32/handle.h"

namespace launcher {

// Whether this process runs with administrator rights switched on (elevated). False where the
// system cannot tell, as before Windows Vista.
bool IsProcessElevated();

// The run as the user's side.
class ElevatedRunHost {
 public:
  // Makes the two objects, starts this program through the shell's "runas" (the system's
  // prompt) with the ticket as its one argument, and waits until that run is ready or ends.
  ElevatedStart Start(DWORD& error);
  // Gives the go-ahead: the elevated run starts its setup.exe.
  void LetGoOn();

 private:
  win32::UniqueHandle ready_;
  win32::UniqueHandle goAhead_;  // held from its making until the go-ahead
  win32::UniqueHandle process_;
};

// The elevated run's side.
class ElevatedRunTicket {
 public:
  // True when this process is elevated, its one argument is an elevated run's ticket and the
  // objects of that ticket could be opened: this process is then an elevated run.
  bool Read();
  void TellReady();
  // Waits for the go-ahead; false when the run that holds it ended without giving it.
  bool WaitForGoAhead();

 private:
  win32::UniqueHandle ready_;
  win32::UniqueHandle goAhead_;
};

}  // namespace launcher
