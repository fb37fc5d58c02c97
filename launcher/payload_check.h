// The installer's own check of its payload, before the run creates, deletes or writes anything.
#pragma once

#include <windows.h>

namespace launcher {

// False when the installer carries a payload digest and the payload does not match it (a cut
// or changed download), or when the digest is there but the payload is not. An installer
// without a digest (made before digests, or by hand) passes: its archive is still judged by
// the unpacking.
bool PayloadMatchesItsDigest(HINSTANCE module);

}  // namespace launcher
