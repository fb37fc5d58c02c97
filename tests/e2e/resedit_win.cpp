// resedit: makes a variant of a built launcher with its payload resource (RT_RCDATA 10,
// language 1033) replaced or removed, for the cases that need another payload than the build's.
// The payload's digest (RT_RCDATA 11) goes with it: a variant is an installer whose payload was
// put in by hand, which carries none.
//
//   resedit IN OUT --payload FILE
//   resedit IN OUT --delete-payload
//
// IN is left as it is; OUT is a copy with the change. Exit code 0 on success, 1 with a line on
// stderr otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/payload_resources.h"

namespace {

constexpr WORD kPayloadId = archive::kPayloadResourceId;
constexpr WORD kDigestId = archive::kDigestResourceId;
constexpr WORD kPayloadLanguage = archive::kPayloadLanguage;

// A resource type or name: an integer id or a string, kept past the enumeration callback.
struct ResourceKey {
  WORD id = 0;
  std::wstring name;

  static ResourceKey From(LPCWSTR value) {
    ResourceKey key;
    if (IS_INTRESOURCE(value)) {
      key.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
    } else {
      key.name = value;
    }
    return key;
  }
  LPCWSTR get() const { return name.empty() ? MAKEINTRESOURCEW(id) : name.c_str(); }
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  WORD language;
};

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<Resource>*>(param)->push_back(
      {ResourceKey::From(type), ResourceKey::From(name), language});
  return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  ::EnumResourceLanguagesW(module, type, name, AddLanguage, param);
  return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param) {
  ::EnumResourceNamesW(module, type, AddName, param);
  return TRUE;
}

bool IsPayloadOrDigest(const Resource& resource) {
  return resource.type.name.empty() && resource.type.id == 10 && resource.name.name.empty() &&
         (resource.name.id == kPayloadId || resource.name.id == kDigestId) &&
         resource.language == kPayloadLanguage;
}

int Fail(const wchar_t* what, const wchar_t* path) {
  std::fwprintf(stderr, L"resedit: %ls %ls (error %lu)\n", what, path, ::GetLastError());
  return 1;
}

bool ReadWholeFile(const wchar_t* path, std::vector<char>& bytes) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = ::GetFileSizeEx(file, &size) != FALSE && size.QuadPart < 0x7fffffff;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < bytes.size()) {
      DWORD got = 0;
      ok = ::ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr) != FALSE &&
           got > 0;
      done += got;
    }
  }
  ::CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool replace = argc == 5 && std::wstring(argv[3]) == L"--payload";
  const bool remove = argc == 4 && std::wstring(argv[3]) == L"--delete-payload";
  if (!replace && !remove) {
    std::fwprintf(stderr, L"usage: resedit IN OUT --payload FILE | resedit IN OUT --delete-payload\n");
    return 2;
  }
  const wchar_t* in = argv[1];
  const wchar_t* out = argv[2];
  std::vector<char> payload;
  if (replace && !ReadWholeFile(argv[4], payload)) return Fail(L"cannot read", argv[4]);
  if (!::CopyFileW(in, out, FALSE)) return Fail(L"cannot copy to", out);

  HMODULE source = ::LoadLibraryExW(in, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (source == nullptr) return Fail(L"cannot read resources of", in);
  std::vector<Resource> resources;
  ::EnumResourceTypesW(source, AddType, reinterpret_cast<LONG_PTR>(&resources));

  // Wine's UpdateResourceW cannot remove a resource of the file (EndUpdateResourceW brings it
  // back), so every resource is written anew except the payload and its digest.
  HANDLE update = ::BeginUpdateResourceW(out, TRUE);
  if (update == nullptr) return Fail(L"cannot open resources of", out);
  bool ok = true;
  for (const Resource& resource : resources) {
    if (IsPayloadOrDigest(resource)) continue;
    HRSRC found = ::FindResourceExW(source, resource.type.get(), resource.name.get(), resource.language);
    void* data = found ? ::LockResource(::LoadResource(source, found)) : nullptr;
    ok = ok && data != nullptr &&
         ::UpdateResourceW(update, resource.type.get(), resource.name.get(), resource.language, data,
                           ::SizeofResource(source, found));
  }
  if (replace) {
    ok = ok && ::UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(kPayloadId), kPayloadLanguage,
                                 payload.data(), static_cast<DWORD>(payload.size()));
  }
  if (!ok) {
    ::EndUpdateResourceW(update, TRUE);
    return Fail(L"cannot copy the resources to", out);
  }
  const BOOL written = ::EndUpdateResourceW(update, FALSE);
  ::FreeLibrary(source);
  return written ? 0 : Fail(L"cannot write", out);
}
