#include "win32/module_instance.h"

namespace win32 {

constinit HINSTANCE ModuleInstance = nullptr;

}  // namespace win32
