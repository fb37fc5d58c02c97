// unpack_copy PIECE OUTDIR FILE...: copies the files into OUTDIR with ReadFile and WriteFile in
// pieces of PIECE bytes and prints the seconds it took. It tells what plain file copying costs
// under Wine with the unpacking's own piece size, beside the launcher's unpacking.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fwprintf(stderr, L"usage: unpack_copy PIECE OUTDIR FILE...\n");
    return 2;
  }
  const DWORD piece = std::wcstoul(argv[1], nullptr, 10);
  if (piece == 0) return 2;
  std::vector<char> buffer(piece);
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  for (int i = 3; i < argc; ++i) {
    const wchar_t* slash = std::wcsrchr(argv[i], L'\\');
    const std::wstring out = std::wstring(argv[2]) + L"\\" + (slash != nullptr ? slash + 1 : argv[i]);
    HANDLE in = ::CreateFileW(argv[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE copy = ::CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE || copy == INVALID_HANDLE_VALUE) {
      std::fwprintf(stderr, L"unpack_copy: cannot copy %ls\n", argv[i]);
      return 1;
    }
    DWORD got = 0, put = 0;
    while (::ReadFile(in, buffer.data(), piece, &got, nullptr) && got > 0) {
      ::WriteFile(copy, buffer.data(), got, &put, nullptr);
    }
    ::CloseHandle(in);
    ::CloseHandle(copy);
  }
  ::QueryPerformanceCounter(&end);
  std::printf("%.4f\n", static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  return 0;
}
