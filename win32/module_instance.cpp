#include "win32/module_instance.h"

HINSTANCE ModuleInstance = nullptr;
