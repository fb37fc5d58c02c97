// The launcher is built without exceptions and RTTI. What in the C++ runtime would throw,
// terminate or allocate lands here instead, so that none of the runtime's exception machinery,
// its verbose terminate handler or its threads library is linked in. None of these is reached
// in a sound run: each ends the process, as abort() would (exit code 3).
#include <windows.h>

#include <cstddef>
#include <exception>
#include <new>

namespace {

[[noreturn]] void EndProcess() { ::ExitProcess(3); }

}  // namespace

// A call through an abstract class's empty vtable slot.
extern "C" void __cxa_pure_virtual() { EndProcess(); }

namespace std {

[[noreturn]] void terminate() noexcept { EndProcess(); }

// Every throw helper of the runtime's functexcept.o (a checked string_view::substr, say, names
// one): defining them all here keeps that member, and all it drags in, out of the program.
void __throw_bad_exception() { EndProcess(); }
void __throw_bad_alloc() { EndProcess(); }
void __throw_bad_array_new_length() { EndProcess(); }
void __throw_bad_cast() { EndProcess(); }
void __throw_bad_typeid() { EndProcess(); }
void __throw_logic_error(const char*) { EndProcess(); }
void __throw_domain_error(const char*) { EndProcess(); }
void __throw_invalid_argument(const char*) { EndProcess(); }
void __throw_length_error(const char*) { EndProcess(); }
void __throw_out_of_range(const char*) { EndProcess(); }
void __throw_out_of_range_fmt(const char*, ...) { EndProcess(); }
void __throw_runtime_error(const char*) { EndProcess(); }
void __throw_range_error(const char*) { EndProcess(); }
void __throw_overflow_error(const char*) { EndProcess(); }
void __throw_underflow_error(const char*) { EndProcess(); }

// The tag of the allocation that may fail: here, so that the runtime's new_handler.o, which
// defines it beside its handler and unwind tables, stays out.
extern const nothrow_t nothrow;
const nothrow_t nothrow{};

}  // namespace std

// The system's process heap: nothing of the C runtime's allocator is needed. The program keeps
// its texts in fixed buffers and allocates nothing itself; this serves the deleting destructors
// of its interfaces and anything the runtime may still ask for.
void* operator new(std::size_t size) {
  void* block = ::HeapAlloc(::GetProcessHeap(), 0, size != 0 ? size : 1);
  if (block == nullptr) EndProcess();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ::HeapAlloc(::GetProcessHeap(), 0, size != 0 ? size : 1);
}
void operator delete(void* block) noexcept {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}
void operator delete[](void* block) noexcept { ::operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { ::operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { ::operator delete(block); }
